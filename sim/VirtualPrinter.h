// The virtual ESC/POS printer: decodes what it receives, keeps its state, answers status.
#pragma once

#include "sim/CommandLog.h"
#include "sim/EscPosDecoder.h"
#include "sim/Paper.h"
#include "sim/PrinterState.h"
#include "sim/UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace QVO::Sim {

// One printer, shared by the transport serving its link, the control channel and tests.
//
// Thread safety: every public method is safe to call from any thread; one mutex guards the
// whole printer (state, decoder, paper, log, reply queue). It is the innermost lock: while
// holding it the printer calls nothing that locks again, and the transports never hold a
// lock of their own while calling in.
//
// Replies are queued; a transport takes them with TakeReplies when NotifyFd becomes
// readable. Drop and PowerCycle bump the connection generation, which tells the transport
// to close its connection.
class VirtualPrinter {
public:
    using Clock = std::chrono::steady_clock;

    explicit VirtualPrinter(PrinterIdentity identity = PrinterIdentity{});
    ~VirtualPrinter();
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    // --- the link side (transports) ---
    void Receive(const uint8_t* data, size_t size);
    void Receive(const std::vector<uint8_t>& bytes) { Receive(bytes.data(), bytes.size()); }
    // The link closed: a command cut short is logged as truncated, the line is printed.
    void EndOfStream();
    size_t TakeReplies(uint8_t* out, size_t max);
    std::vector<uint8_t> TakeAllReplies();
    int NotifyFd() const { return notify_.get(); }  // readable while replies or a drop wait
    void ClearNotify();
    uint64_t ConnectionGeneration() const;
    uint32_t BytesPerSecond() const;
    // False while the printer is offline with a full receive buffer: the link stops reading,
    // so the host sees flow control instead of the printer losing data.
    bool AcceptsInput() const;
    void SetReceiveBufferBytes(size_t bytes);  // 64 KiB unless set
    // Time-driven behaviour (the drawer closing by itself); transports call it often.
    void Tick(Clock::time_point now = Clock::now());

    // --- test and control side ---
    void SetCoverOpen(bool open);
    void SetPaper(PaperLevel level);
    void SetDrawerOpen(bool open);
    void SetDrawerAutoClose(int ms);  // < 0: never
    void SetDrawerOpenLevel(bool high);
    void SetOffline(bool offline);
    void SetMute(bool mute);
    void SetRate(uint32_t bytesPerSecond);
    void Drop();
    void PowerCycle();
    bool OpenLog(const std::string& path);

    PrinterIdentity Identity() const;
    PrinterConditions Conditions() const;
    PrinterState State() const;
    // Readable trace of every command handled so far: "ESC a 1 | text \"Total\" | LF".
    std::vector<std::string> Trace() const;
    std::string StatusText() const;  // one line, key=value pairs
    bool WritePng(const std::string& path) const;
    Canvas Picture() const;

    // The status bytes a printer reports in its present condition (no locking, no queue).
    static uint8_t RealTimeStatusByte(int n, const PrinterConditions& c);
    static std::vector<uint8_t> AutoStatusBlock(const PrinterConditions& c);

private:
    void ReceiveRawLocked(const uint8_t* data, size_t size);
    void ReceiveFramedLocked(const uint8_t* data, size_t size);
    void HandlePacketLocked(const std::vector<uint8_t>& payload);
    void DecodeLocked(const uint8_t* data, size_t size);
    void HandleCommandLocked(const Command& cmd);
    bool AnswersWhileOffline(const Command& cmd) const;
    void ApplyLocked(const Command& cmd);
    void ApplyEscLocked(const Command& cmd);
    void ApplyGsLocked(const Command& cmd);
    void ApplyFsLocked(const Command& cmd);
    void ApplyGraphicsLocked(const Command& cmd);
    void ApplySymbolLocked(const Command& cmd);
    void ReplyLocked(const std::vector<uint8_t>& bytes);
    void AnswerPrinterIdLocked(int n);
    void PulseDrawerLocked();
    void ConditionsChangedLocked(const PrinterConditions& before);
    // Applies a change to the conditions under the lock and reports what it changed.
    template <typename Change>
    void ChangeConditions(Change change);
    void SendAutoStatusLocked();
    void ResetStateLocked();
    void WakeLocked();
    void NoteLocked(const std::string& event, const std::string& detail);

    mutable std::mutex mutex_;
    const PrinterIdentity identity_;
    PrinterConditions conditions_;        // guarded by mutex_
    PrinterState state_;                  // guarded by mutex_
    EscPosDecoder decoder_;               // guarded by mutex_
    Paper paper_;                         // guarded by mutex_
    CommandLog log_;                      // guarded by mutex_
    std::vector<std::string> trace_;      // guarded by mutex_
    std::deque<uint8_t> replies_;         // guarded by mutex_
    std::vector<uint8_t>* capture_ = nullptr;  // replies of the packet in hand; guarded by mutex_
    std::vector<Command> held_;           // print commands waiting while offline; guarded by mutex_
    size_t heldBytes_ = 0;                // guarded by mutex_
    size_t receiveBufferBytes_ = 64 * 1024;  // guarded by mutex_
    std::vector<uint8_t> packet_;         // framed-model packet being collected; guarded by mutex_
    bool inPacket_ = false;               // guarded by mutex_
    bool lastInputFramed_ = false;        // the last bytes came in a packet; guarded by mutex_
    int bufferScaleX_ = 1, bufferScaleY_ = 1;  // of the stored buffer graphics; guarded by mutex_
    Clock::time_point drawerCloseAt_{};   // guarded by mutex_
    bool drawerClosing_ = false;          // guarded by mutex_
    uint64_t generation_ = 0;             // guarded by mutex_
    UniqueFd notify_;                     // eventfd; the descriptor itself is immutable
};

// The readable form of one command used by Trace(): "ESC a 1", "text \"Total\"".
std::string TraceText(const Command& cmd);

}  // namespace QVO::Sim

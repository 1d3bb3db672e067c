// The virtual ESC/POS printer: decodes what it receives, keeps its state, answers status.
#pragma once

#include "platform/posix/UniqueFd.h"
#include "platform/sync/Mutex.h"
#include "sim/CommandLog.h"
#include "sim/EscPosDecoder.h"
#include "sim/Paper.h"
#include "sim/PrintedText.h"
#include "sim/PrinterState.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace QVO::Sim {

// One printer, shared by the transport serving its link, the control channel and tests.
//
// Thread safety: every public method is safe to call from any thread; one mutex guards the
// whole printer (state, decoder, paper, log, reply queue).
//
// Lock order, for the whole virtual printer: a link server (Transport.h) and the control
// server hold no lock while they call the printer, and PtyServer's path lock is never held
// together with the printer's. Under its own mutex the printer calls nothing that locks,
// except the process-wide caches of the glyph rendering (Glyphs.cpp: code tables, fonts,
// each font's glyphs), leaf locks held for one lookup. So the only nesting is
//     VirtualPrinter::mutex_  ->  one Glyphs.cpp cache mutex.
//
// Replies are queued; a transport takes them with TakeReplies when NotifyFd becomes
// readable. Drop and PowerCycle bump the connection generation, which tells the transport
// to close its connection.
//
// The work is split by concern: VirtualPrinter.cpp (dispatch, state, accessors), _Link
// (raw and framed input, reply queue), _Commands (text, layout and page commands),
// _Graphics (images, barcodes, 2D symbols), _Replies (status answers, printer information,
// automatic status back) and _Faults (conditions under test control, drawer, power).
class VirtualPrinter {
public:
    using Clock = std::chrono::steady_clock;

    // Off: nothing is drawn (NoPaper), for runs that only need the state and the replies.
    enum class Rendering { On, Off };

    explicit VirtualPrinter(PrinterIdentity identity = PrinterIdentity{}, Rendering rendering = Rendering::On);
    ~VirtualPrinter();
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    // --- the link side (transports) ---
    void Receive(const uint8_t* data, size_t size) QUVO_EXCLUDES(mutex_);
    void Receive(const std::vector<uint8_t>& bytes) QUVO_EXCLUDES(mutex_) { Receive(bytes.data(), bytes.size()); }
    // The link closed: a command cut short is logged as truncated, the line is printed.
    void EndOfStream() QUVO_EXCLUDES(mutex_);
    size_t TakeReplies(uint8_t* out, size_t max) QUVO_EXCLUDES(mutex_);
    std::vector<uint8_t> TakeAllReplies() QUVO_EXCLUDES(mutex_);
    int NotifyFd() const { return notify_.get(); }  // readable while replies or a drop wait
    void ClearNotify();
    uint64_t ConnectionGeneration() const QUVO_EXCLUDES(mutex_);
    uint32_t BytesPerSecond() const QUVO_EXCLUDES(mutex_);
    // False while the printer is offline with a full receive buffer: the link stops reading,
    // so the host sees flow control instead of the printer losing data.
    bool AcceptsInput() const QUVO_EXCLUDES(mutex_);
    void SetReceiveBufferBytes(size_t bytes) QUVO_EXCLUDES(mutex_);  // 64 KiB unless set
    // Time-driven behaviour (the drawer closing by itself); transports call it often.
    void Tick(Clock::time_point now = Clock::now()) QUVO_EXCLUDES(mutex_);

    // --- test and control side ---
    void SetCoverOpen(bool open) QUVO_EXCLUDES(mutex_);
    void SetPaper(PaperLevel level) QUVO_EXCLUDES(mutex_);
    void SetDrawerOpen(bool open) QUVO_EXCLUDES(mutex_);
    void SetDrawerAutoClose(int ms) QUVO_EXCLUDES(mutex_);  // < 0: never
    void SetDrawerOpenLevel(bool high) QUVO_EXCLUDES(mutex_);
    void SetOffline(bool offline) QUVO_EXCLUDES(mutex_);
    void SetMute(bool mute) QUVO_EXCLUDES(mutex_);
    void SetRate(uint32_t bytesPerSecond) QUVO_EXCLUDES(mutex_);
    void Drop() QUVO_EXCLUDES(mutex_);
    void PowerCycle() QUVO_EXCLUDES(mutex_);
    bool OpenLog(const std::string& path) QUVO_EXCLUDES(mutex_);

    PrinterConditions Conditions() const QUVO_EXCLUDES(mutex_);
    PrinterState State() const QUVO_EXCLUDES(mutex_);
    // Readable trace of every command handled so far: "ESC a 1 | text \"Total\" | LF".
    std::vector<std::string> Trace() const QUVO_EXCLUDES(mutex_);
    // The last `count` entries only: cheap enough to poll while the printer is busy.
    std::vector<std::string> TraceTail(size_t count) const QUVO_EXCLUDES(mutex_);
    std::string StatusText() const QUVO_EXCLUDES(mutex_);  // one line, key=value pairs
    // The paper so far; false / empty when the printer was made without rendering.
    bool WritePng(const std::string& path) const QUVO_EXCLUDES(mutex_);
    Canvas Picture() const QUVO_EXCLUDES(mutex_);

    // The status bytes a printer reports in its present condition (no locking, no queue).
    static uint8_t RealTimeStatusByte(int request, const PrinterConditions& conditions);
    static std::vector<uint8_t> AutoStatusBlock(const PrinterConditions& conditions);

private:
    // VirtualPrinter_Link.cpp
    void ReceiveFramedLocked(const uint8_t* data, size_t size) QUVO_REQUIRES(mutex_);
    void StartPacketLocked() QUVO_REQUIRES(mutex_);
    void PacketByteLocked(uint8_t byte) QUVO_REQUIRES(mutex_);
    void HandlePacketLocked(const std::vector<uint8_t>& payload) QUVO_REQUIRES(mutex_);
    void DecodeLocked(const uint8_t* data, size_t size) QUVO_REQUIRES(mutex_);
    void FeedLocked(const uint8_t* data, size_t size) QUVO_REQUIRES(mutex_);
    // Queues a reply and wakes the link, or collects it for the packet in hand.
    void ReplyLocked(const std::vector<uint8_t>& bytes) QUVO_REQUIRES(mutex_);
    void WakeLocked() QUVO_REQUIRES(mutex_);

    // VirtualPrinter.cpp
    void HandleCommandLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void ApplyLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void ResetStateLocked() QUVO_REQUIRES(mutex_);
    void NoteLocked(const std::string& event, const std::string& detail) QUVO_REQUIRES(mutex_);

    // Each Apply*Locked carries out the commands of its group and returns false for others.
    // VirtualPrinter_Commands.cpp
    bool ApplyCharacterLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    bool ApplyLineLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    bool ApplyPageLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    bool ApplyControlLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void CutLocked(bool partial, int feedUnits) QUVO_REQUIRES(mutex_);
    // VirtualPrinter_Graphics.cpp
    bool ApplyImageLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    bool ApplyBarcodeLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    bool ApplyGraphicsLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    bool ApplySymbolLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void DefineNvImagesLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    std::optional<MonoImage> HeaderRasterLocked(const std::vector<uint8_t>& body, size_t header) QUVO_REQUIRES(mutex_);
    void StoreBufferGraphicsLocked(const std::vector<uint8_t>& body) QUVO_REQUIRES(mutex_);
    void DefineNvGraphicsLocked(const std::vector<uint8_t>& body) QUVO_REQUIRES(mutex_);
    void PrintNvImageLocked(int key, const std::string& name, int scaleX, int scaleY) QUVO_REQUIRES(mutex_);
    // VirtualPrinter_Replies.cpp
    bool ApplyReplyLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void AnswerPrinterInfoLocked(int request) QUVO_REQUIRES(mutex_);
    void AnswerTransmitStatusLocked(int request) QUVO_REQUIRES(mutex_);
    void AnswerProcessIdLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void SendAutoStatusLocked() QUVO_REQUIRES(mutex_);
    // VirtualPrinter_Faults.cpp
    bool ApplyDrawerLocked(const Command& cmd) QUVO_REQUIRES(mutex_);
    void PulseDrawerLocked() QUVO_REQUIRES(mutex_);
    // Sets one condition, then reacts to what changed (ASB, held commands).
    template <typename Field>
    void ChangeCondition(Field PrinterConditions::*field, Field value) QUVO_EXCLUDES(mutex_);
    void ChangeConditionsLocked(const PrinterConditions& next) QUVO_REQUIRES(mutex_);
    void ReleaseHeldLocked() QUVO_REQUIRES(mutex_);

    mutable QVO::Platform::Mutex mutex_;
    const PrinterIdentity identity_;
    PrinterConditions conditions_ QUVO_GUARDED_BY(mutex_);
    PrinterState state_ QUVO_GUARDED_BY(mutex_);
    EscPosDecoder decoder_ QUVO_GUARDED_BY(mutex_);
    const std::unique_ptr<PrintTarget> paper_ QUVO_PT_GUARDED_BY(mutex_);  // Paper, or NoPaper
    CommandLog log_ QUVO_GUARDED_BY(mutex_);
    // The characters of each text run, for the log (decoded only while a log is open).
    PrintedTextDecoder printed_ QUVO_GUARDED_BY(mutex_){identity_.multiByte};
    std::vector<std::string> trace_ QUVO_GUARDED_BY(mutex_);
    std::deque<uint8_t> replies_ QUVO_GUARDED_BY(mutex_);
    // Replies of the packet in hand: they go back framed, instead of the acknowledgement.
    std::vector<uint8_t>* packetReplies_ QUVO_GUARDED_BY(mutex_) = nullptr;
    std::vector<Command> held_ QUVO_GUARDED_BY(mutex_);  // print commands waiting while offline
    size_t heldBytes_ QUVO_GUARDED_BY(mutex_) = 0;
    size_t receiveBufferBytes_ QUVO_GUARDED_BY(mutex_) = 64 * 1024;
    std::vector<uint8_t> packet_ QUVO_GUARDED_BY(mutex_);  // framed-model packet being collected
    bool inPacket_ QUVO_GUARDED_BY(mutex_) = false;
    bool lastInputFramed_ QUVO_GUARDED_BY(mutex_) = false;  // the last bytes came in a packet
    int bufferScaleX_ QUVO_GUARDED_BY(mutex_) = 1;          // of the stored buffer graphics
    int bufferScaleY_ QUVO_GUARDED_BY(mutex_) = 1;
    Clock::time_point drawerCloseAt_ QUVO_GUARDED_BY(mutex_);
    bool drawerClosing_ QUVO_GUARDED_BY(mutex_) = false;
    uint64_t generation_ QUVO_GUARDED_BY(mutex_) = 0;
    const QVO::Platform::UniqueFd notify_;  // eventfd
};

}  // namespace QVO::Sim

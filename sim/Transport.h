// The links the virtual printer is reached over: TCP, pseudo-terminal, fake USB, file pair.
#pragma once

#include "platform/posix/UniqueFd.h"
#include "platform/sync/Mutex.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace QVO::Sim {

class VirtualPrinter;

// A link to one host at a time: `readFd` is read for what the host sends, `writeFd` (or
// `readFd` when it is -1) written with replies. The descriptors stay with the server
// (pty master, files) unless the connection owns them (an accepted socket). Move-only.
struct Connection {
    int readFd = -1;
    int writeFd = -1;
    Platform::UniqueFd owned;  // closed when the connection ends
    int ReplyFd() const { return writeFd >= 0 ? writeFd : readFd; }
};

// Serves host connections one after another on its own thread until stopped: bytes from the
// host go to the printer, the printer's replies go back, throttled to the printer's link
// rate. A drop or power cycle of the printer closes the connection in hand.
//
// Ownership: holds a reference to the printer, which must outlive it. Start and Stop are
// called by the owner's thread only; the serving thread is joined by Stop or the destructor.
class LinkServer {
public:
    explicit LinkServer(VirtualPrinter& printer);
    virtual ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    bool Start(std::string* error);
    void Stop();
    // After the first connection ends the server stops by itself (single-shot runs).
    void set_singleShot(bool on) { singleShot_ = on; }
    // false: the line carries nothing back (an output-only printer on a parallel or USB
    // printer-class port); the printer's answers are dropped. Set before Start.
    void set_backChannel(bool on) { backChannel_ = on; }
    bool Finished() const { return finished_.load(); }
    // Readable once Finished() turns true, so a caller can poll for the end of a run.
    int FinishedFd() const { return finishedPipe_[0].get(); }

protected:
    // Opens what the server listens on; called on the owner's thread by Start.
    virtual bool Open(std::string* error) = 0;
    // Waits for the next host; false when stopping (stopFd became readable) or on failure.
    virtual bool Accept(Connection& conn, int stopFd) = 0;
    // Reading returned end of file: true means the connection is over.
    virtual bool EndsAtEof() const { return true; }
    // A drop: servers whose link cannot be closed from this side renew it instead.
    virtual void Renew() {}
    // End of file only means "nothing more yet": the input is a file that may grow.
    virtual bool FollowsEof() const { return false; }

    VirtualPrinter& printer_;

private:
    struct Throttle;
    enum class ReadResult { GoOn, AtEof, Over };

    void Run();
    // Returns false when the server is stopping.
    bool Serve(Connection& conn);
    ReadResult ReadFromHost(const Connection& conn, Throttle& throttle);
    // False when the host is gone.
    bool WriteReplies(int fd, Throttle& throttle, bool limited);

    Platform::UniqueFd stopPipe_[2];
    Platform::UniqueFd finishedPipe_[2];
    std::thread thread_;
    bool singleShot_ = false;  // set before Start, read by the serving thread
    bool backChannel_ = true;  // likewise
    std::atomic<bool> finished_{false};
};

// Loopback TCP, one connection at a time (a network printer on port 9100).
class TcpServer : public LinkServer {
public:
    TcpServer(VirtualPrinter& printer, uint16_t port) : LinkServer(printer), port_(port) {}
    ~TcpServer() override { Stop(); }
    uint16_t Port() const { return port_; }  // the bound port once started (port 0 = ephemeral)

protected:
    bool Open(std::string* error) override;
    bool Accept(Connection& conn, int stopFd) override;

private:
    uint16_t port_;
    Platform::UniqueFd listener_;
};

// A pseudo-terminal: the host opens the slave like a serial or parallel device node. The
// server keeps a slave descriptor itself so the line stays up between host opens; a drop
// replaces the pty (the link symlink follows), as pulling and replugging a cable would.
class PtyServer : public LinkServer {
public:
    PtyServer(VirtualPrinter& printer, std::string linkPath = {})
        : LinkServer(printer), linkPath_(std::move(linkPath)) {}
    ~PtyServer() override { Stop(); }
    std::string SlavePath() const QUVO_EXCLUDES(pathMutex_);  // thread-safe

protected:
    bool Open(std::string* error) override;
    bool Accept(Connection& conn, int stopFd) override;
    bool EndsAtEof() const override { return false; }
    void Renew() override;

private:
    bool OpenPty(std::string* error);

    std::string linkPath_;
    mutable Platform::Mutex pathMutex_;  // never held together with the printer's lock
    std::string slavePath_ QUVO_GUARDED_BY(pathMutex_);
    // Set by Open before the serving thread starts, then renewed by that thread only.
    Platform::UniqueFd master_;
    Platform::UniqueFd slaveHold_;
};

// A USB printer as the sysfs walk sees it: DIR/sys/bus/usb/devices/1-1 with its IDs, the
// interface's usbmisc/lp0 entry, and DIR/dev/usb/lp0 linked to the pty the printer serves.
class UsbServer : public PtyServer {
public:
    UsbServer(VirtualPrinter& printer, std::string root, uint16_t vid = 0x04b8, uint16_t pid = 0x0202,
              uint16_t rev = 0x0100);
    ~UsbServer() override { Stop(); }

protected:
    bool Open(std::string* error) override;

private:
    std::string root_;
    uint16_t vid_, pid_, rev_;
};

// A file pair: what the host writes to `outPath` is read as it grows; replies are appended
// to `inPath`. Single-shot runs read to the current end and finish.
class FilePairServer : public LinkServer {
public:
    FilePairServer(VirtualPrinter& printer, std::string outPath, std::string inPath)
        : LinkServer(printer), outPath_(std::move(outPath)), inPath_(std::move(inPath)) {}
    ~FilePairServer() override { Stop(); }

protected:
    bool Open(std::string* error) override;
    bool Accept(Connection& conn, int stopFd) override;
    bool FollowsEof() const override { return true; }

private:
    std::string outPath_, inPath_;
    Platform::UniqueFd outFile_, inFile_;
};

// Creates the fake USB tree under root (used by UsbServer; exposed for tests).
bool CreateUsbTree(const std::string& root, uint16_t vid, uint16_t pid, uint16_t rev, const std::string& slavePath,
                   std::string* error);

}  // namespace QVO::Sim

// Incremental decoder of the ESC/POS byte stream into commands, tolerant of garbage.
#pragma once

#include "sim/Command.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace QVO::Sim {

// Turns bytes arriving in arbitrary pieces into whole commands. A command is handed out
// only once all its bytes are in; unknown introducers are reported and skipped, so one bad
// byte never stalls the stream. Not thread-safe: the printer feeds it under its own lock.
class EscPosDecoder {
public:
    using Sink = std::function<void(const Command&)>;

    // Lengths beyond this are taken as a corrupt header rather than waited for.
    static constexpr size_t kMaxPayload = 16u << 20;

    // Whether FS q defines images as width/height in dots with raster rows (the framed
    // model) rather than in 8-dot units with column data.
    void set_rasterNvDefinitions(bool on) { rasterNv_ = on; }

    void Feed(const uint8_t* data, size_t size, const Sink& sink);
    // The stream ended: pending text is handed out, a partial command reported truncated.
    void Finish(const Sink& sink);
    // Forgets any partial command (power cycle, new connection).
    void Reset();
    // True when no partial command is waiting for more bytes.
    bool AtBoundary() const { return pending_.empty(); }

private:
    // Tries to cut one command from the front of pending_. Returns the bytes it used, 0
    // when more bytes are needed, SIZE_MAX for a length no real command has.
    size_t TryParse(const uint8_t* in, size_t have, Command& out) const;
    size_t ParseFs(const uint8_t* in, size_t have, Command& out) const;
    size_t ParseFsQ(const uint8_t* in, size_t have, Command& out) const;

    std::vector<uint8_t> pending_;
    uint64_t offset_ = 0;  // stream offset of pending_[0]
    bool rasterNv_ = false;
};

// The data bytes of one FS q image of x × y: raster rows of whole bytes (the framed model),
// else x × 8 columns of y bytes.
size_t NvImageBytes(bool raster, size_t x, size_t y);

}  // namespace QVO::Sim

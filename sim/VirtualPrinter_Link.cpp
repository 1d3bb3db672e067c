// The virtual printer's link side: raw and framed input, the reply queue and its wake-up.
#include "sim/VirtualPrinter.h"

#include "sim/EscPosCodes.h"

#include <unistd.h>

#include <algorithm>

namespace QVO::Sim {

using QVO::Platform::MutexLock;

namespace {

// The framed model's packets: AA len data xor BB, at most 46 data bytes each.
constexpr uint8_t kPacketStart = 0xAA, kPacketEnd = 0xBB;
constexpr uint8_t kAck = 0x06, kNak = 0x15;
constexpr size_t kMaxPacketData = 46;
constexpr size_t kLengthAt = 1, kDataAt = 2;
constexpr size_t kFramingBytes = 4;  // start, length, check, end

uint8_t Xor(const uint8_t* p, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= p[i];
    return x;
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at < data.size(); at += kMaxPacketData) {
        const size_t len = std::min(kMaxPacketData, data.size() - at);
        out.push_back(kPacketStart);
        out.push_back(uint8_t(len));
        out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + len));
        out.push_back(Xor(data.data() + at, len));
        out.push_back(kPacketEnd);
    }
    return out;
}

// A packet that is only a real-time status request: DLE EOT n.
bool IsRealTimeStatusRequest(const std::vector<uint8_t>& payload) {
    return payload.size() == 3 && payload[0] == EscPos::DLE && payload[1] == EscPos::EOT;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

}  // namespace

void VirtualPrinter::Receive(const uint8_t* data, size_t size) {
    MutexLock lock(mutex_);
    if (identity_.framed)
        ReceiveFramedLocked(data, size);
    else
        DecodeLocked(data, size);
}

void VirtualPrinter::ReceiveFramedLocked(const uint8_t* data, size_t size) {
    size_t rawStart = 0;  // first byte outside a packet not yet decoded
    for (size_t i = 0; i < size; ++i) {
        if (inPacket_) {
            rawStart = i + 1;
            PacketByteLocked(data[i]);
        } else if (data[i] == kPacketStart) {
            DecodeLocked(data + rawStart, i - rawStart);
            rawStart = i + 1;
            StartPacketLocked();
        }
    }
    if (!inPacket_ && rawStart < size) DecodeLocked(data + rawStart, size - rawStart);
}

void VirtualPrinter::StartPacketLocked() {
    // AA opens a packet between commands; inside a raw command it is data.
    if (decoder_.AtBoundary() || lastInputFramed_) {
        inPacket_ = true;
        packet_.assign(1, kPacketStart);
    } else {
        DecodeLocked(&kPacketStart, 1);
    }
}

void VirtualPrinter::PacketByteLocked(uint8_t byte) {
    packet_.push_back(byte);
    if (packet_.size() == kLengthAt + 1 && (byte == 0 || byte > kMaxPacketData)) {
        // Not a packet after all: take the bytes as plain data.
        inPacket_ = false;
        lastInputFramed_ = false;
        NoteLocked("bad_packet_length", std::to_string(byte));
        const std::vector<uint8_t> bytes = packet_;
        DecodeLocked(bytes.data(), bytes.size());
        return;
    }
    if (packet_.size() <= kLengthAt || packet_.size() < packet_[kLengthAt] + kFramingBytes) return;
    inPacket_ = false;
    const size_t len = packet_[kLengthAt];
    const bool sumOk = Xor(packet_.data() + kDataAt, len) == packet_[kDataAt + len];
    if (!sumOk || packet_[kDataAt + len + 1] != kPacketEnd) {
        NoteLocked("bad_packet", sumOk ? "no end byte" : "checksum");
        ReplyLocked(Frame({kNak}));
        return;
    }
    const auto data = packet_.begin() + long(kDataAt);
    HandlePacketLocked(std::vector<uint8_t>(data, data + long(len)));
}

void VirtualPrinter::HandlePacketLocked(const std::vector<uint8_t>& payload) {
    lastInputFramed_ = true;
    // A real-time status request is answered with the bare status byte, as the host reads
    // one byte and decodes it like a DLE EOT answer; no acknowledgement follows it.
    if (IsRealTimeStatusRequest(payload)) {
        FeedLocked(payload.data(), payload.size());
        return;
    }
    std::vector<uint8_t> answers;
    packetReplies_ = &answers;
    FeedLocked(payload.data(), payload.size());
    packetReplies_ = nullptr;
    if (conditions_.mute) return;
    // The host reads until it sees the end byte: answers travel framed, else an ACK.
    ReplyLocked(Frame(answers.empty() ? std::vector<uint8_t>{kAck} : answers));
}

void VirtualPrinter::DecodeLocked(const uint8_t* data, size_t size) {
    if (size == 0) return;
    lastInputFramed_ = false;
    FeedLocked(data, size);
}

void VirtualPrinter::FeedLocked(const uint8_t* data, size_t size) {
    // The decoder calls back before Feed returns, so the lock is still held.
    decoder_.Feed(data, size, [this](const Command& cmd) QUVO_REQUIRES(mutex_) { HandleCommandLocked(cmd); });
}

void VirtualPrinter::EndOfStream() {
    MutexLock lock(mutex_);
    if (inPacket_) {
        NoteLocked("bad_packet", "stream ended inside a packet");
        inPacket_ = false;
    }
    decoder_.Finish([this](const Command& cmd) QUVO_REQUIRES(mutex_) { HandleCommandLocked(cmd); });
    lastInputFramed_ = false;
}

void VirtualPrinter::ReplyLocked(const std::vector<uint8_t>& bytes) {
    if (conditions_.mute || bytes.empty()) return;
    // The file log only: traces stay commands.
    log_.Note(packetReplies_ ? "reply_in_packet" : "reply", Hex(bytes));
    if (packetReplies_) {
        packetReplies_->insert(packetReplies_->end(), bytes.begin(), bytes.end());
        return;
    }
    replies_.insert(replies_.end(), bytes.begin(), bytes.end());
    WakeLocked();
}

size_t VirtualPrinter::TakeReplies(uint8_t* out, size_t max) {
    MutexLock lock(mutex_);
    const size_t n = std::min(max, replies_.size());
    std::copy_n(replies_.begin(), n, out);
    replies_.erase(replies_.begin(), replies_.begin() + long(n));
    return n;
}

std::vector<uint8_t> VirtualPrinter::TakeAllReplies() {
    MutexLock lock(mutex_);
    std::vector<uint8_t> out(replies_.begin(), replies_.end());
    replies_.clear();
    return out;
}

void VirtualPrinter::ClearNotify() {
    uint64_t value;
    while (::read(notify_.get(), &value, sizeof value) > 0) {}
}

void VirtualPrinter::WakeLocked() {
    const uint64_t one = 1;
    // A full counter still reads as readable, so a failed write loses nothing.
    [[maybe_unused]] auto ignored = ::write(notify_.get(), &one, sizeof one);
}

uint64_t VirtualPrinter::ConnectionGeneration() const {
    MutexLock lock(mutex_);
    return generation_;
}

uint32_t VirtualPrinter::BytesPerSecond() const {
    MutexLock lock(mutex_);
    return conditions_.bytesPerSecond;
}

bool VirtualPrinter::AcceptsInput() const {
    MutexLock lock(mutex_);
    return !(conditions_.Offline() && heldBytes_ >= receiveBufferBytes_);
}

void VirtualPrinter::SetReceiveBufferBytes(size_t bytes) {
    MutexLock lock(mutex_);
    receiveBufferBytes_ = bytes;
}

}  // namespace QVO::Sim

// Serial line set-up on termios.
#include "so/io/SerialPort.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "so/io/ErrorText.h"

namespace QVO::IO {
namespace {

constexpr int kLineReadMs = 100;  // read total and interval of a serial line

// What failed while setting the line up; the system's reason and number follow.
constexpr wchar_t kSerialReadLineText[] = L"SerialPort::SetupPort - cannot read the line settings";
constexpr wchar_t kSerialApplyLineText[] = L"SerialPort::SetupPort - cannot apply the line settings";
constexpr wchar_t kSerialRateText[] = L"SerialPort::SetupPort - the line does not take the configured rate";

struct BaudEntry {
    uint32_t rate;
    speed_t speed;
};

constexpr BaudEntry kBaudTable[] = {
    {50, B50},           {75, B75},         {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},       {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000},
};

bool SpeedForBaud(uint32_t rate, speed_t& speed) {
    for (const BaudEntry& e : kBaudTable) {
        if (e.rate == rate) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

}  // namespace

int WriteMultiplierForBaud(uint32_t baudRate) {
    if (baudRate >= 19200) return 1;
    if (baudRate >= 4801) return 2;
    if (baudRate >= 2401) return 3;
    if (baudRate >= 1) return 5;
    return 0;
}

SerialPort::SerialPort(const SerialPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings) {
    PortTimings timings = GetTimings();
    timings.line.readIntervalMs = kLineReadMs;
    timings.line.readTotalConstantMs = kLineReadMs;
    timings.line.readTotalMultiplierMs = 0;
    SetTimings(timings);
    RefreshDeviceName();
}

SerialPort::~SerialPort() {
    if (IsOpen()) Close();
}

int32_t SerialPort::RefreshDeviceName() {
    SetDevicePath(ResolveDeviceName(ownSettings_.GetPortName(), Environment()));
    return 0;
}

int32_t SerialPort::Close() {
    // Give the line's exclusive flag back so the next open, by anyone, succeeds.
    if (IsOpen()) ::ioctl(Descriptor(), TIOCNXCL);
    return CSystemPort::Close();
}

void SerialPort::RecordSetupFailure(const wchar_t* what, int error) {
    SetPortError(error, FormatPortError(what, error));
}

void SerialPort::SetupPort() {
    const int fd = Descriptor();
    // TIOCEXCL keeps other openers out at the tty level as well; it does not stop root,
    // the flock taken at open does.
    ::ioctl(fd, TIOCEXCL);

    if (!LoadCommState()) {
        RecordSetupFailure(kSerialReadLineText, GetSystemError());
    } else {
        termios line = GetLineState();
        ::cfmakeraw(&line);
        const uint32_t baud = ownSettings_.GetBaudRate();
        speed_t speed = B0;
        const bool rateKnown = baud == 0 || SpeedForBaud(baud, speed);
        if (baud != 0 && rateKnown) {
            ::cfsetispeed(&line, speed);
            ::cfsetospeed(&line, speed);
        }
        line.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
        line.c_cflag |= CS8 | CREAD | CLOCAL;
        line.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
        // Reads are timed by poll, so the driver returns whatever is there at once.
        line.c_cc[VMIN] = 0;
        line.c_cc[VTIME] = 0;
        SetLineState(line);
        if (!ApplyCommState())
            RecordSetupFailure(kSerialApplyLineText, GetSystemError());
        else if (!rateKnown)
            RecordSetupFailure(kSerialRateText, EINVAL);
    }

    // DTR and RTS off, as the printer expects no handshake on these lines. A line
    // without modem lines (a pseudo-terminal) simply refuses.
    int modemLines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &modemLines);
    ::tcflush(fd, TCIOFLUSH);

    PortTimings timings = GetTimings();
    const int multiplier = WriteMultiplierForBaud(ownSettings_.GetBaudRate());
    if (multiplier != 0) timings.line.writeTotalMultiplierMs = multiplier;
    timings.line.writeTotalConstantMs = EffectiveWriteTimeout();
    SetTimings(timings);
}

}  // namespace QVO::IO

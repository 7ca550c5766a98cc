#include "io/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "base/text.h"
#include "io/io_errors.h"

namespace fp {

namespace {

using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point aStart) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count());
}

// The termios speed constant of a line speed; B0 for a speed the line can't take.
speed_t SpeedConstant(uint32_t aBaud) {
  switch (aBaud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    default: return B0;
  }
}

// The character size flag for a number of data bits; 0 when the line can't take it.
tcflag_t DataSizeFlag(uint8_t aData) {
  switch (aData) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return 0;
  }
}

}  // namespace

intptr_t TComPort::OpenDevice(const std::string& aPath, uint32_t& aError, bool& aMissing) {
  // Non-blocking: every wait below goes through poll with its own bound, and opening a
  // line without carrier must not hang.
  int fd = ::open(aPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    aError = static_cast<uint32_t>(errno);
    aMissing = errno == ENOENT;
    return -1;
  }
  // Not shared: other processes that honour the lock are kept out, and the terminal
  // refuses further opens.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    aError = static_cast<uint32_t>(errno == EWOULDBLOCK ? EBUSY : errno);
    ::close(fd);
    return -1;
  }
  ::ioctl(fd, TIOCEXCL);
  return fd;
}

void TComPort::SetLineParameters(uint32_t aBaud, uint8_t aData, TStopBits aStop, TParity aParity) {
  termios t{};
  if (fComHandle < 0 || ::tcgetattr(fComHandle, &t) != 0) throw TComPortException("GetCommState failed!");
  const speed_t speed = SpeedConstant(aBaud);
  const tcflag_t size = DataSizeFlag(aData);
  if (speed == B0 || size == 0) throw TComPortException("SetCommState failed!");

  // A raw binary line: no echo, no line editing, no translation of CR/LF, no software
  // flow control; the receiver on and modem status ignored.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= size | CREAD | CLOCAL;
  // One and a half stop bits exist only for 5-bit characters; the line gives two.
  if (aStop != sbOne) t.c_cflag |= CSTOPB;
  switch (aParity) {
    case ptNone: break;
    case ptOdd: t.c_cflag |= PARENB | PARODD; break;
    case ptEven: t.c_cflag |= PARENB; break;
    case ptMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case ptSpace: t.c_cflag |= PARENB | CMSPAR; break;
  }
  // Reads wait in poll, never in the terminal driver.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(fComHandle, TCSANOW, &t) != 0)
    throw TComPortException("SetCommState failed!");
  fBaudRate = aBaud;
  fDataBits = aData;
  fStopBits = aStop;
  fParity = aParity;
}

void TComPort::CloseDevice() {
  ::tcflush(fComHandle, TCIOFLUSH);
  ::ioctl(fComHandle, TIOCNXCL);  // the next user may open the line again
  ::close(fComHandle);
}

// Reads wait in poll, bounded by fTotalTimeout: nothing to give the terminal.
void TComPort::ApplyReadTimeout() {}

int TComPort::ReadDevice(void* aBuffer, int aBytes, uint32_t& aErrorCode) {
  auto* out = static_cast<unsigned char*>(aBuffer);
  const auto start = Clock::now();
  int got = 0;
  for (;;) {
    const int remaining = fTotalTimeout - ElapsedMs(start);
    if (remaining <= 0 && got > 0) return got;
    // The first byte may take the whole total timeout; later ones at most the interval.
    int wait = remaining > 0 ? remaining : 0;
    if (got > 0 && wait > kIntervalTimeoutMs) wait = kIntervalTimeoutMs;
    pollfd p{static_cast<int>(fComHandle), POLLIN, 0};
    const int r = ::poll(&p, 1, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) return got;
    if (r > 0 && (p.revents & POLLIN) != 0) {
      const ssize_t n = ::read(fComHandle, out + got, static_cast<size_t>(aBytes - got));
      if (n > 0) {
        got += static_cast<int>(n);
        if (got >= aBytes) return got;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      aErrorCode = n < 0 ? static_cast<uint32_t>(errno) : static_cast<uint32_t>(EIO);
    } else {
      // A hung-up or failed line.
      aErrorCode = r < 0 ? static_cast<uint32_t>(errno) : static_cast<uint32_t>(EIO);
    }
    if (got > 0) return got;
    // A line that fails at once would otherwise make every caller's loop spin: the failed
    // read still takes its time, as a read without data would.
    const int left = fTotalTimeout - ElapsedMs(start);
    if (left > 0) ::poll(nullptr, 0, left);
    return -1;
  }
}

bool TComPort::WriteDevice(const std::string& aText) {
  size_t done = 0;
  while (done < aText.size()) {
    const ssize_t n = ::write(fComHandle, aText.data() + done, aText.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) throw TComPortException("Write to com port failed.");
    // The output queue is full: wait for room, but not forever.
    pollfd p{static_cast<int>(fComHandle), POLLOUT, 0};
    int r;
    do {
      r = ::poll(&p, 1, kWriteStallMs);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) throw TComPortException("Write to com port failed.");
  }
  return true;
}

int TComPort::DeviceBytesPending() {
  int count = 0;
  if (::ioctl(fComHandle, FIONREAD, &count) != 0) return 0;
  return count;
}

bool TComPort::PurgeDevice() { return ::tcflush(fComHandle, TCIOFLUSH) == 0; }

void TComPort::DriveModemLine(bool aDtr, bool aAssert, const char* aName) {
  int line = aDtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(fComHandle, aAssert ? TIOCMBIS : TIOCMBIC, &line) != 0)
    throw TComPortException(ErrnoMessage(std::string(aName) + " failed", errno));
}

// COM1 is the first port, /dev/ttyS0.
std::string TComPort::SystemDevicePath(uint32_t aComNumber) { return "/dev/ttyS" + std::to_string(aComNumber - 1); }

}  // namespace fp

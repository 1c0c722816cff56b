// TComm on Linux: see TComm.h for how the component maps onto POSIX termios.
#include "TComm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "SerialPortList.h"
#include "SerialSpeed.h"

bool SerialSetCustomBaud(int fd, uint32_t baud);  // SerialBaud.cpp (termios2)

namespace commdetail {

using Clock = std::chrono::steady_clock;

// The signal that interrupts a port thread's blocking wait in the kernel when the port closes.
int WakeSignal();
void InstallWakeHandler();

struct Block {
    uint8_t* data = nullptr;
    uint16_t count = 0;
};

// The notices on their way to the user-interface thread, counted when posted and uncounted when
// handled or dropped.
struct Backlog {
    std::atomic<uint32_t> notices{0};
    std::atomic<uint64_t> bytes{0};
};

// Everything one open shares between the component and its threads. The threads get a
// shared_ptr, so nothing they use can vanish under them.
struct OpenState {
    int fd = -1;
    // A second, blocking descriptor of the same line for reads whose end the line discipline
    // times (see SilenceTenths); -1 when the device could not be opened twice.
    int readFd = -1;
    int closeFd = -1;  // eventfd: the close event (manual reset: never read, only written)
    int wakeFd = -1;   // eventfd: new block in the transmit queue
    QObject* targetRaw = nullptr;
    uint16_t bufferSize = 2048;
    uint16_t readLength = 1;
    bool icount = false;

    std::atomic<uint32_t> readInterval{100}, readMultiplier{0}, readConstant{0};
    std::atomic<uint32_t> writeMultiplier{0}, writeConstant{0};
    std::atomic<bool> ignoreNull{false}, markParity{false}, replaceParity{false};
    std::atomic<uint8_t> replacedChar{0};

    std::atomic<bool> hungUp{false};
    // The close event as a flag, set before the eventfd is written: the threads' waits watch
    // the eventfd, everything else asks the flag.
    mutable std::atomic<bool> closing{false};
    // The line discipline ends each read on readFd after the interval's silence (VMIN/VTIME
    // are set); cleared before they are taken away, set after they are in place.
    std::atomic<bool> silenceInKernel{false};
    std::atomic<bool> readerDone{false};
    std::atomic<bool> modemStop{false};
    std::atomic<bool> modemDone{false};

    std::mutex queueMutex;
    std::deque<Block> queue;
    bool accepting = true;  // false once the transmit thread has ended
    std::shared_ptr<std::atomic<bool>> sendDataEmpty;
    std::shared_ptr<Backlog> backlog;

    ~OpenState() {
        for (Block& b : queue) std::free(b.data);
        if (closeFd >= 0) ::close(closeFd);
        if (wakeFd >= 0) ::close(wakeFd);
        if (readFd >= 0) ::close(readFd);
    }

    void SetClose() const {
        closing.store(true);
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(closeFd, &one, sizeof one);
    }
    bool CloseSet() const { return closing.load(); }
    // Bytes a read takes at most: the read length, within the buffer.
    size_t ReadLength() const { return std::max<size_t>(1, std::min(readLength, bufferSize)); }
    // Posts a notice to the user-interface thread. False (and the block freed) when the backlog
    // is full; the caller then hangs up. The hangup notice itself is always posted.
    bool Post(int notice, uint8_t* block = nullptr, uint32_t count = 0, uint32_t param = 0);
    // Hangup notice, once per open; the device is gone or failing, so all threads stop. Once
    // the component has set the close event, whatever fails is part of the close (its purge
    // empties the queues under the threads) and is not reported.
    void Hangup() {
        if (!CloseSet() && !hungUp.exchange(true)) Post(TComm::kHangupNotice);
        SetClose();
    }
};

// Orders everything a worker thread wrote before posting a notice (the event, its block) before
// what the UI thread does with it. Qt's queue already does so; this makes the hand-off explicit
// in code the thread sanitizer sees (Qt's own locking is not instrumented).
std::atomic<uint64_t> gHandoff{0};

class NoticeEvent : public QEvent {
  public:
    NoticeEvent(int notice, uint8_t* block, uint32_t count, uint32_t param,
                std::shared_ptr<Backlog> backlog)
        : QEvent(QEvent::Type(TComm::NoticeEventType(notice))),
          notice(notice),
          block(block),
          count(count),
          param(param),
          backlog(std::move(backlog)) {}
    ~NoticeEvent() override {
        gHandoff.load(std::memory_order_acquire);  // also when dropped without delivery
        std::free(block);                          // the block dies with its notice
        backlog->notices.fetch_sub(1);
        backlog->bytes.fetch_sub(count);
    }
    int notice;
    uint8_t* block;
    uint32_t count;
    uint32_t param;
    std::shared_ptr<Backlog> backlog;
};

// A user-interface thread that cannot keep up must not make the process grow without end: as
// with a full platform message queue, a notice that would take the backlog to
// TComm::kMaxPendingNotices notices (the last place is the hang-up's) or past
// TComm::kMaxPendingBytes bytes is not posted.
bool OpenState::Post(int notice, uint8_t* block, uint32_t count, uint32_t param) {
    // The hang-up notice always goes, into the one place the others leave free; the counts are
    // raised only when the notice fits, so that they never show more than the bound.
    if (notice != TComm::kHangupNotice) {
        uint32_t notices = backlog->notices.load();
        do {
            if (notices + 1 >= TComm::kMaxPendingNotices) {
                std::free(block);
                return false;
            }
        } while (!backlog->notices.compare_exchange_weak(notices, notices + 1));
        uint64_t bytes = backlog->bytes.load();
        do {
            if (bytes + count > TComm::kMaxPendingBytes) {
                backlog->notices.fetch_sub(1);
                std::free(block);
                return false;
            }
        } while (!backlog->bytes.compare_exchange_weak(bytes, bytes + count));
    } else {
        backlog->notices.fetch_add(1);
        backlog->bytes.fetch_add(count);
    }
    // postEvent is thread-safe; the notifier outlives every thread (they are joined first).
    auto* e = new NoticeEvent(notice, block, count, param, backlog);
    gHandoff.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(targetRaw, e);
    return true;
}

// The hidden window: lives on the thread that created the component.
class Notifier : public QObject {
  public:
    explicit Notifier(TComm* comm) : comm(comm) {}
    TComm* comm;
    int dispatching = 0;
    bool deleteWhenDone = false;

  protected:
    bool event(QEvent* e) override {
        gHandoff.load(std::memory_order_acquire);
        const int t = int(e->type());
        if (t >= TComm::NoticeEventType(TComm::kDataNotice) &&
            t <= TComm::NoticeEventType(TComm::kSendEmptyNotice)) {
            auto* n = static_cast<NoticeEvent*>(e);
            if (comm != nullptr) {
                ++dispatching;
                comm->HandleNotice(n->notice, n->block, n->count, n->param);
                --dispatching;
            }
            if (deleteWhenDone && dispatching == 0) deleteLater();
            return true;
        }
        return QObject::event(e);
    }
};

// ---- line error counters --------------------------------------------------------------

bool ReadCounters(int fd, serial_icounter_struct& c) {
    std::memset(&c, 0, sizeof c);
    return ::ioctl(fd, TIOCGICOUNT, &c) == 0;
}

uint32_t ErrorFlags(const serial_icounter_struct& a, const serial_icounter_struct& b) {
    uint32_t f = 0;
    if (b.buf_overrun != a.buf_overrun) f |= CE_RXOVER;
    if (b.overrun != a.overrun) f |= CE_OVERRUN;
    if (b.parity != a.parity) f |= CE_RXPARITY;
    if (b.frame != a.frame) f |= CE_FRAME;
    if (b.brk != a.brk) f |= CE_BREAK;
    return f;
}

// ---- receive thread ---------------------------------------------------------------------

// Undoes PARMRK marking (0377 0 x: byte x with an error; 0377 0377: byte 0377) and drops zero
// bytes when asked. Keeps an unfinished mark between reads.
//
// A 0377 that the line discipline took in before marking was switched on is not doubled; when
// an ordinary byte follows it, both are passed on as received, so one byte read can give two.
// What does not fit the room left in the read is carried into the next read: a delivery never
// exceeds the read length, nor the buffer.
struct InputFilter {
    int pending = 0;            // bytes of a mark seen: 0, 1 (0377), 2 (0377 0)
    std::deque<uint8_t> carry;  // decoded bytes waiting for the next read

    // Moves carried bytes to the start of the next read; returns how many.
    size_t TakeCarry(uint8_t* out, size_t room) {
        size_t k = 0;
        while (k < room && !carry.empty()) {
            out[k++] = carry.front();
            carry.pop_front();
        }
        return k;
    }

    size_t Run(OpenState& st, const uint8_t* in, size_t n, uint8_t* out, size_t room) {
        const bool marked = st.markParity.load(std::memory_order_relaxed);
        const bool noNull = st.ignoreNull.load(std::memory_order_relaxed);
        size_t k = 0;
        auto put = [&](uint8_t b) {
            if (noNull && b == 0) return;
            if (k < room)
                out[k++] = b;
            else
                carry.push_back(b);
        };
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = in[i];
            if (!marked && pending == 0) {
                put(b);
                continue;
            }
            if (pending == 0) {
                if (b == 0xFF)
                    pending = 1;
                else
                    put(b);
            } else if (pending == 1) {
                if (b == 0xFF) {
                    put(0xFF);
                    pending = 0;
                } else if (b == 0)
                    pending = 2;
                else {
                    put(0xFF);
                    put(b);
                    pending = 0;
                }
            } else {  // byte received with a parity or framing error (or 0 for a break)
                const bool replace = st.replaceParity.load(std::memory_order_relaxed);
                put(replace && b != 0 ? st.replacedChar.load(std::memory_order_relaxed) : b);
                pending = 0;
            }
        }
        return k;
    }
};

// Waits for the close event or for the port, as one poll of both would. The receive thread
// waits twice for every reply (its bytes, then the silence that ends it), so the two are
// registered once with the kernel instead of with every wait; where that is not possible the
// wait is a plain poll.
class PortWait {
  public:
    PortWait(int closeFd, int portFd) : closeFd_(closeFd), portFd_(portFd) {
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) return;
        epoll_event close{};
        close.events = EPOLLIN;
        close.data.fd = closeFd;
        epoll_event port{};
        port.events = EPOLLIN;
        port.data.fd = portFd;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, closeFd, &close) != 0 ||
            ::epoll_ctl(epoll_, EPOLL_CTL_ADD, portFd, &port) != 0) {
            ::close(epoll_);
            epoll_ = -1;
        }
    }
    ~PortWait() {
        if (epoll_ >= 0) ::close(epoll_);
    }
    PortWait(const PortWait&) = delete;
    PortWait& operator=(const PortWait&) = delete;

    // As poll(2): the number of descriptors ready, 0 on time-out, -1 with errno. closeEvents
    // and portEvents receive what happened, in poll's terms.
    int Wait(int timeoutMs, short& closeEvents, short& portEvents) {
        closeEvents = portEvents = 0;
        if (epoll_ < 0) {
            pollfd p[2] = {{closeFd_, POLLIN, 0}, {portFd_, POLLIN, 0}};
            const int r = ::poll(p, 2, timeoutMs);
            closeEvents = p[0].revents;
            portEvents = p[1].revents;
            return r;
        }
        epoll_event ready[2];
        const int r = ::epoll_wait(epoll_, ready, 2, timeoutMs);
        for (int i = 0; i < r; ++i) {
            short events = 0;
            if (ready[i].events & EPOLLIN) events |= POLLIN;
            if (ready[i].events & EPOLLHUP) events |= POLLHUP;
            if (ready[i].events & EPOLLERR) events |= POLLERR;
            (ready[i].data.fd == closeFd_ ? closeEvents : portEvents) |= events;
        }
        return r;
    }

  private:
    int closeFd_;
    int portFd_;
    int epoll_ = -1;
};

// Reads that end only on silence (an interval that is a whole number of tenths of a second up
// to 25.5 s, no total time-out) can be timed by the line discipline itself: a blocking read
// with VMIN/VTIME waits for the first byte and then returns once the line has been silent for
// VTIME tenths. The thread then sleeps through the bytes of a reply and wakes once, when the
// read has ended, instead of once for the bytes and once more for the silence. Returns VTIME,
// or 0 when the rules need the thread's own timing.
int SilenceTenths(uint32_t interval, uint32_t multiplier, uint32_t constant) {
    if (multiplier != 0 || constant != 0 || interval == 0 || interval % 100 != 0 ||
        interval > 25500)
        return 0;
    return int(interval / 100);
}

// The most one such read asks of the line discipline, and its VMIN: a read of more is handed
// out in 64-byte pieces that do not wait for the silence, so a longer read continues with the
// thread's own timing.
constexpr size_t kKernelReadMax = 64;

struct Receiver {
    OpenState& st;
    InputFilter filter;
    serial_icounter_struct counters{};
    std::vector<uint8_t> raw;
    PortWait wait{st.closeFd, st.fd};

    // False when the error notice could not be posted (the thread has hung up).
    bool CheckLineErrors() {
        if (!st.icount) return true;
        serial_icounter_struct now{};
        if (!ReadCounters(st.fd, now)) return true;
        const uint32_t flags = ErrorFlags(counters, now);
        counters = now;
        if (flags != 0 && !st.Post(TComm::kErrorNotice, nullptr, 0, flags)) {
            st.Hangup();
            return false;
        }
        return true;
    }

    static int MsUntil(Clock::time_point t) {
        const auto d =
            std::chrono::duration_cast<std::chrono::microseconds>(t - Clock::now()).count();
        if (d <= 0) return 0;
        return int(std::min<long long>((d + 999) / 1000, 24LL * 3600 * 1000));
    }

    // Moves got bytes just read from raw into out (room bytes), undoing error marks and
    // dropping zero bytes when asked; returns how many it put there.
    size_t Take(size_t got, uint8_t* out, size_t room) {
        if (st.markParity.load() || st.ignoreNull.load() || filter.pending != 0)
            return filter.Run(st, raw.data(), got, out, room);
        std::memcpy(out, raw.data(), got);
        return got;
    }

    // One read of up to len bytes with the classic comm time-out rules. Returns the byte count
    // (0 = the read ended empty) or -1 when the thread must end (close event or hangup).
    long ReadOne(uint8_t* buf, size_t len) { return ReadOne(buf, len, 0, Clock::now()); }

    // The same, going on with a read that already holds `already` bytes, the last of them
    // received at lastByte.
    long ReadOne(uint8_t* buf, size_t len, size_t already, Clock::time_point lastByteSeen) {
        const uint32_t interval = st.readInterval.load();
        const uint32_t mult = st.readMultiplier.load();
        const uint32_t cst = st.readConstant.load();
        const bool immediate = interval == TComm::MAXDWORD && mult == 0 && cst == 0;
        const bool firstByte = interval == TComm::MAXDWORD && mult == TComm::MAXDWORD && cst > 0 &&
                               cst < TComm::MAXDWORD;
        const auto start = Clock::now();
        bool hasDeadline = false;
        Clock::time_point deadline;
        if (firstByte) {
            hasDeadline = true;
            deadline = start + std::chrono::milliseconds(cst);
        } else if (!immediate && (mult != 0 || cst != 0)) {
            hasDeadline = true;
            deadline = start + std::chrono::milliseconds(uint64_t(mult) * len + cst);
        }
        const bool useInterval = !immediate && !firstByte && interval != 0;
        Clock::time_point lastByte = lastByteSeen;
        size_t n = already > 0 ? already : filter.TakeCarry(buf, len);
        if (raw.size() < len) raw.resize(len);
        for (;;) {
            if (n >= len) return long(n);
            int timeout = -1;
            bool endOnTimeout = false;
            if (immediate && n == 0) {
                // "Return what is there at once": with nothing there, wait for the first byte
                // rather than ending empty and starting again in a busy loop.
                timeout = -1;
            } else if (immediate || (firstByte && n > 0)) {
                timeout = 0;
                endOnTimeout = true;
            } else {
                if (hasDeadline) {
                    if (Clock::now() >= deadline) return long(n);
                    timeout = MsUntil(deadline);
                }
                if (useInterval && n > 0) {
                    // Ends once the line has been silent for MORE than the interval.
                    const auto limit = lastByte + std::chrono::milliseconds(interval);
                    if (Clock::now() > limit) return long(n);
                    const int t = MsUntil(limit) + 1;
                    timeout = timeout < 0 ? t : std::min(timeout, t);
                }
            }
            short closeEvents = 0;
            short portEvents = 0;
            const int r = wait.Wait(timeout, closeEvents, portEvents);
            if (r < 0) {
                if (errno == EINTR) continue;
                st.Hangup();
                return -1;
            }
            if (closeEvents != 0) return -1;  // close event: first in the wait list wins
            if (r == 0) {
                if (endOnTimeout) return long(n);
                continue;  // the checks at the top decide
            }
            if (portEvents & POLLIN) {
                const ssize_t got = ::read(st.fd, raw.data(), len - n);
                if (got > 0) {
                    if (!CheckLineErrors()) return -1;
                    n += Take(size_t(got), buf + n, len - n);
                    lastByte = Clock::now();
                    continue;
                }
                if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                if (st.CloseSet()) return -1;  // the close purged what poll had seen
                // With VMIN = VTIME = 0 an empty read only means "nothing there"; a vanished
                // device also reports POLLHUP or POLLERR (a hung-up tty reads 0, a pty whose
                // master closed gives EIO).
                if (got == 0 && !(portEvents & (POLLHUP | POLLERR | POLLNVAL))) continue;
                st.Hangup();
                return -1;
            }
            if (portEvents & (POLLHUP | POLLERR | POLLNVAL)) {
                st.Hangup();
                return -1;
            }
        }
    }

    // One read timed by the line discipline (st.silenceInKernel). Returns as ReadOne does.
    long ReadInKernel(uint8_t* buf, size_t len) {
        const size_t want = std::min(len, kKernelReadMax);
        if (raw.size() < len) raw.resize(len);
        for (;;) {
            if (st.CloseSet()) return -1;
            const ssize_t got = ::read(st.readFd, raw.data(), want);
            if (st.CloseSet()) return -1;  // woken for the close: what came is purged
            if (got > 0) {
                if (!CheckLineErrors()) return -1;
                const size_t n = Take(size_t(got), buf, len);
                // Fewer bytes than asked: the silence ended the read. As many: the read may go
                // on, and the rest of it is timed here.
                if (size_t(got) < want) {
                    if (n > 0) return long(n);
                    continue;  // only the start of an error mark or zero bytes dropped
                }
                return ReadOne(buf, len, n, Clock::now());
            }
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got == 0) {
                // No byte at all: the rules were changed under the read (VMIN 0), or the line
                // hung up.
                if (!st.silenceInKernel.load()) return 0;
                pollfd p{st.fd, POLLIN, 0};
                if (::poll(&p, 1, 0) < 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) continue;
            }
            st.Hangup();
            return -1;
        }
    }

    void Run() {
        const size_t len = st.ReadLength();
        std::vector<uint8_t> buf(std::max<size_t>(1, st.bufferSize));
        if (st.icount) ReadCounters(st.fd, counters);
        for (;;) {
            const long n = st.readFd >= 0 && st.silenceInKernel.load() && filter.carry.empty()
                               ? ReadInKernel(buf.data(), len)
                               : ReadOne(buf.data(), len);
            if (n < 0) break;      // close event or hangup
            if (n == 0) continue;  // a total time-out passed with no byte: read again
            auto* block = static_cast<uint8_t*>(std::calloc(size_t(n) + 1, 1));
            if (block == nullptr) {
                st.Hangup();
                break;
            }
            std::memcpy(block, buf.data(), size_t(n));
            if (!st.Post(TComm::kDataNotice, block, uint32_t(n))) {
                st.Hangup();  // the user-interface thread is too far behind: stop reading
                break;
            }
        }
        ::tcflush(st.fd, TCIFLUSH);
    }
};

// Ends the receive thread once the close event is set. A read blocked in the line discipline
// ends only with a byte or a signal, so the thread is signalled until it has gone; a signal
// that comes just before the read starts is lost, hence the repeat.
void JoinReader(std::thread& reader, const OpenState& st) {
    if (!reader.joinable()) return;
    while (st.readFd >= 0 && !st.readerDone.load()) {
        ::pthread_kill(reader.native_handle(), WakeSignal());
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    reader.join();
}

void ReadThreadBody(std::shared_ptr<OpenState> st) {
    // Named so that a look at the process (top -H, perf) tells the port's threads apart.
    pthread_setname_np(pthread_self(), "comm-read");
    // Only the close's wake-up signal may interrupt a read: any other signal that lands here
    // would end a blocking read with part of a reply.
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, WakeSignal());
    pthread_sigmask(SIG_SETMASK, &all, nullptr);
    {
        Receiver r{*st, {}, {}, {}};
        r.Run();
    }
    st->readerDone.store(true);
}

// ---- transmit thread --------------------------------------------------------------------

bool WriteAll(OpenState& st, const uint8_t* data, size_t count) {
    size_t off = 0;
    while (off < count) {
        const ssize_t w = ::write(st.fd, data + off, count - off);
        if (w > 0) {
            off += size_t(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) {
            st.Hangup();  // EIO: the device vanished
            return false;
        }
        // No room: wait for it or for the close event. The write time-outs bound this wait;
        // after it the rest is written again, as the platform's WriteAll does.
        const uint64_t total =
            uint64_t(st.writeMultiplier.load()) * (count - off) + st.writeConstant.load();
        const int timeout = total == 0 ? -1 : int(std::min<uint64_t>(total, 24ULL * 3600 * 1000));
        pollfd p[2] = {{st.closeFd, POLLIN, 0}, {st.fd, POLLOUT, 0}};
        const int r = ::poll(p, 2, timeout);
        if (r < 0 && errno != EINTR) {
            st.Hangup();
            return false;
        }
        if (r > 0 && p[0].revents != 0) return false;  // closing aborts the pending write
        if (r > 0 && !(p[1].revents & POLLOUT) && (p[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            st.Hangup();
            return false;
        }
    }
    return true;
}

void WriteThreadBody(std::shared_ptr<OpenState> sp) {
    pthread_setname_np(pthread_self(), "comm-write");
    OpenState& st = *sp;
    bool writtenSinceEmpty = true;
    for (;;) {
        Block b;
        bool have = false;
        {
            std::lock_guard<std::mutex> lock(st.queueMutex);
            if (st.queue.empty()) {
                st.sendDataEmpty->store(true);
            } else {
                b = st.queue.front();
                st.queue.pop_front();
                have = true;
            }
        }
        if (!have) {
            if (writtenSinceEmpty && !st.Post(TComm::kSendEmptyNotice)) {
                st.Hangup();
                break;
            }
            writtenSinceEmpty = false;
            pollfd p[2] = {{st.closeFd, POLLIN, 0}, {st.wakeFd, POLLIN, 0}};
            const int r = ::poll(p, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) {
                st.Hangup();
                break;
            }
            if (p[0].revents != 0) break;
            uint64_t v;
            [[maybe_unused]] ssize_t rr = ::read(st.wakeFd, &v, sizeof v);
            continue;
        }
        if (st.CloseSet()) {
            std::free(b.data);
            break;
        }
        const bool ok = WriteAll(st, b.data, b.count);
        std::free(b.data);
        if (!ok) break;
        writtenSinceEmpty = true;
    }
    {
        std::lock_guard<std::mutex> lock(st.queueMutex);
        st.accepting = false;
        for (Block& q : st.queue) std::free(q.data);  // queued blocks are dropped
        st.queue.clear();
    }
    ::tcflush(st.fd, TCOFLUSH);
    st.sendDataEmpty->store(true);
}

// ---- modem thread (drivers with TIOCMIWAIT only) -----------------------------------------

int WakeSignal() {
    return SIGRTMIN + 4;
}

void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: the ioctl returns EINTR
        ::sigaction(WakeSignal(), &sa, nullptr);
    });
}

void ModemThreadBody(std::shared_ptr<OpenState> sp) {
    pthread_setname_np(pthread_self(), "comm-modem");
    OpenState& st = *sp;
    serial_icounter_struct before{};
    ReadCounters(st.fd, before);
    while (!st.modemStop.load()) {
        if (::ioctl(st.fd, TIOCMIWAIT, TIOCM_CD | TIOCM_RNG) < 0) {
            if (errno == EINTR) continue;
            if (!st.modemStop.load() && errno == EIO) st.Hangup();
            break;  // EINVAL/ENOTTY: the driver cannot wait for modem lines
        }
        serial_icounter_struct now{};
        if (!ReadCounters(st.fd, now)) break;
        uint32_t bits = 0;
        if (now.dcd != before.dcd) bits |= MODEM_RLSD;
        if (now.rng != before.rng) bits |= MODEM_RING;
        before = now;
        if (bits != 0 && !st.Post(TComm::kModemNotice, nullptr, 0, bits)) {
            st.Hangup();
            break;
        }
    }
    st.modemDone.store(true);
}

}  // namespace commdetail

using namespace commdetail;

// ---------------------------------------------------------------------------------------------

int TComm::NoticeEventType(int notice) {
    return QEvent::User + notice;
}

TComm::TComm(QObject* /*owner*/)
    : sendDataEmpty(std::make_shared<std::atomic<bool>>(true)),
      backlog(std::make_shared<Backlog>()),
      notifier(new Notifier(this)) {}

uint32_t TComm::PendingNotices() const {
    return backlog->notices.load();
}
uint64_t TComm::PendingBytes() const {
    return backlog->bytes.load();
}

TComm::~TComm() {
    CloseComm();  // no thread outlives the component
    notifier->comm = nullptr;
    if (notifier->dispatching > 0) {
        notifier->deleteWhenDone = true;  // destroyed from inside one of its own events
    } else {
        delete notifier;  // pending notices are dropped with it; their blocks are freed
    }
}

QString TComm::DevicePath(const QString& name) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(name);
    if (m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= 1) return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    if (!name.isEmpty() && !name.contains(QLatin1Char('/'))) return QStringLiteral("/dev/") + name;
    return name;
}

void TComm::OpenComm() {
    portOpenError.clear();
    if (fd >= 0) {
        portOpenError = QStringLiteral("This serial port already opened");
        return;
    }
    const QByteArray path = QFile::encodeName(DevicePath(commName));
    int h =
        path.isEmpty() ? -1 : ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (h >= 0 && ::flock(h, LOCK_EX | LOCK_NB) != 0) {
        ::close(h);  // held by another TComm or another program
        h = -1;
    }
    if (h < 0) {
        portOpenError = QStringLiteral("Error opening serial port");
        return;
    }
    struct stat sb {};
    termios tio{};
    if (::fstat(h, &sb) != 0 || !S_ISCHR(sb.st_mode) || ::tcgetattr(h, &tio) != 0) {
        ::close(h);
        portOpenError = QStringLiteral("File handle is not a comm handle ");
        return;
    }
    // The blocking descriptor for reads timed by the line discipline, opened before the line
    // is made exclusive. Without it every read is timed by the receive thread.
    int r = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ::ioctl(h, TIOCEXCL);  // other non-root openers now get EBUSY
    // Driver buffers: raw mode without blocking reads, the basis every setting builds on.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(h, TCSANOW, &tio) != 0) {
        ::ioctl(h, TIOCNXCL);
        ::close(h);
        if (r >= 0) ::close(r);
        portOpenError = QStringLiteral("Cannot setup comm buffer");
        throw ECommsError(portOpenError);
    }
    fd = h;
    ::tcflush(fd, TCIOFLUSH);
    sendDataEmpty->store(true);

    // CLOCAL is set now, so the blocking descriptor's reads do not wait for a carrier.
    if (r >= 0) {
        const int flags = ::fcntl(r, F_GETFL);
        if (flags < 0 || ::fcntl(r, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            ::close(r);
            r = -1;
        }
    }
    auto st = std::make_shared<OpenState>();
    st->fd = fd;
    st->readFd = r;
    st->targetRaw = notifier;
    st->sendDataEmpty = sendDataEmpty;
    st->backlog = backlog;
    st->bufferSize = inBufferSize;
    st->readLength = inputLen;
    if (r >= 0) InstallWakeHandler();
    open = st;
    ApplyCommTimeouts();
    ApplyCommState();

    auto fail = [&](const char* text) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        fd = -1;
        open.reset();
        portOpenError = QString::fromLatin1(text);
    };
    st->closeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    st->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (st->closeFd < 0 || st->wakeFd < 0) {
        fail("Unable to create event");
        return;
    }
    serial_icounter_struct c{};
    st->icount = ReadCounters(fd, c);
    lineEvents = st->icount;
    try {
        readThread = std::thread(ReadThreadBody, st);
    } catch (const std::system_error&) {
        fail("Unable to create read thread");
        return;
    }
    try {
        writeThread = std::thread(WriteThreadBody, st);
    } catch (const std::system_error&) {
        st->SetClose();
        JoinReader(readThread, *st);
        fail("Unable to create write thread");
        return;
    }
    if (st->icount) {
        InstallWakeHandler();
        try {
            modemThread = std::thread(ModemThreadBody, st);
        } catch (const std::system_error&) {
            // Without it, carrier and ring changes are not reported; reception is unaffected.
        }
    }
}

void TComm::StopThreads() {
    if (!open) return;
    open->SetClose();
    ::tcflush(fd, TCIOFLUSH);  // purge both directions, aborting what is pending
    JoinReader(readThread, *open);
    if (writeThread.joinable()) writeThread.join();
    if (modemThread.joinable()) {
        open->modemStop.store(true);
        while (!open->modemDone.load()) {
            ::pthread_kill(modemThread.native_handle(), WakeSignal());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        modemThread.join();
    }
}

void TComm::CloseComm() {
    portOpenError.clear();
    if (fd < 0) return;
    StopThreads();
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);  // releases the flock as well
    fd = -1;
    open.reset();
    sendDataEmpty->store(true);
    lineEvents = false;
}

bool TComm::SendBytes(const void* buffer, uint16_t length) {
    if (!open || !writeThread.joinable() || length == 0 || buffer == nullptr) return false;
    auto* block = static_cast<uint8_t*>(std::calloc(size_t(length) + 1, 1));
    if (block == nullptr) return false;
    std::memcpy(block, buffer, length);
    {
        std::lock_guard<std::mutex> lock(open->queueMutex);
        if (!open->accepting) {  // the transmit thread has ended (hangup)
            std::free(block);
            return false;
        }
        open->queue.push_back(Block{block, length});
        sendDataEmpty->store(false);
    }
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(open->wakeFd, &one, sizeof one);
    return true;
}

void TComm::HandleNotice(int notice, const uint8_t* block, uint32_t count, uint32_t param) {
    switch (notice) {
        case kDataNotice:
            if (OnReceiveData) OnReceiveData(this, block, uint16_t(count));
            break;
        case kErrorNotice:
            if (OnReceiveError) OnReceiveError(this, param);
            break;
        case kHangupNotice:
            if (OnRequestHangup) OnRequestHangup(this);
            break;
        case kModemNotice:
            if (OnModemStateChange) OnModemStateChange(this, param);
            break;
        case kSendEmptyNotice:
            if (OnSendDataEmpty) OnSendDataEmpty(this);
            break;
        default:
            break;
    }
}

// ---- port list --------------------------------------------------------------------------------

uint32_t TComm::CommPortCount() {
    if (portCount != 0) return portCount;
    portList = ListPlatformSerialPorts();
    portCount = uint32_t(portList.size());
    if (!portList.isEmpty()) commPortName = portList.first();
    return portCount;
}

void TComm::SetCommPortIndex(uint32_t value) {
    if (value < portCount) {
        commPortIndex = value;
        commPortName = portList.at(int(value));
    }
}

// ---- simple properties ------------------------------------------------------------------------

void TComm::SetPortOpen(bool value) {
    if (value)
        OpenComm();
    else
        CloseComm();
}

void TComm::SetCommPort(uint8_t value) {
    if (value == 0 || value == commPort) return;
    commPort = value;
    commName = QStringLiteral("COM%1").arg(value);
}

void TComm::SetOutput(const QString& value) {
    output = value;
    const QByteArray bytes = value.toLocal8Bit();
    SendBytes(bytes.constData(), uint16_t(bytes.size() & 0xFFFF));
}

void TComm::SetInputLen(uint16_t value) {
    if (value == 0) value = inBufferSize;
    if (value > inBufferSize) return;
    inputLen = value;
}

void TComm::SetInBufferSize(uint16_t value) {
    inBufferSize = value == 0 ? 1 : value;
}

void TComm::SetBaudRate(uint32_t v) {
    SetLine(baudRate, v);
}
void TComm::SetParityCheck(bool v) {
    SetLine(parityCheck, v);
}
void TComm::SetOutx_CtsFlow(bool v) {
    SetLine(outxCtsFlow, v);
}
void TComm::SetOutx_DsrFlow(bool v) {
    SetLine(outxDsrFlow, v);
}
void TComm::SetDtrControl(TDtrControl v) {
    SetLine(dtrControl, v);
}
void TComm::SetDsrSensitivity(bool v) {
    SetLine(dsrSensitivity, v);
}
void TComm::SetTxContinueOnXoff(bool v) {
    SetLine(txContinueOnXoff, v);
}
void TComm::SetOutx_XonXoffFlow(bool v) {
    SetLine(outxXonXoffFlow, v);
}
void TComm::SetInx_XonXoffFlow(bool v) {
    SetLine(inxXonXoffFlow, v);
}
void TComm::SetReplaceWhenParityError(bool v) {
    SetLine(replaceWhenParityError, v);
}
void TComm::SetIgnoreNullChar(bool v) {
    SetLine(ignoreNullChar, v);
}
void TComm::SetRtsControl(TRtsControl v) {
    SetLine(rtsControl, v);
}
void TComm::SetXonLimit(uint16_t v) {
    SetLine(xonLimit, v);
}
void TComm::SetXoffLimit(uint16_t v) {
    SetLine(xoffLimit, v);
}
void TComm::SetByteSize(TByteSize v) {
    SetLine(byteSize, v);
}
void TComm::SetParity(TParity v) {
    SetLine(parity, v);
}
void TComm::SetStopBits(TStopBits v) {
    SetLine(stopBits, v);
}
void TComm::SetXonChar(char v) {
    SetLine(xonChar, v);
}
void TComm::SetXoffChar(char v) {
    SetLine(xoffChar, v);
}
void TComm::SetReplacedChar(char v) {
    SetLine(replacedChar, v);
}

void TComm::SetTimeout(uint32_t& field, uint32_t value) {
    if (field == value) return;
    field = value;
    if (PortOpen()) ApplyCommTimeouts();
}
void TComm::SetReadIntervalTimeout(uint32_t v) {
    SetTimeout(readIntervalTimeout, v);
}
void TComm::SetReadTotalTimeoutMultiplier(uint32_t v) {
    SetTimeout(readTotalTimeoutMultiplier, v);
}
void TComm::SetReadTotalTimeoutConstant(uint32_t v) {
    SetTimeout(readTotalTimeoutConstant, v);
}
void TComm::SetWriteTotalTimeoutMultiplier(uint32_t v) {
    SetTimeout(writeTotalTimeoutMultiplier, v);
}
void TComm::SetWriteTotalTimeoutConstant(uint32_t v) {
    SetTimeout(writeTotalTimeoutConstant, v);
}

// ---- applying the configuration ---------------------------------------------------------------

uint32_t TComm::ControlFlags() const {
    uint32_t f = 0x0001;  // fBinary
    if (parityCheck) f |= 0x0002;
    if (outxCtsFlow) f |= 0x0004;
    if (outxDsrFlow) f |= 0x0008;
    if (dtrControl == TDtrControl::DtrEnable)
        f |= 0x0010;
    else if (dtrControl == TDtrControl::DtrHandshake)
        f |= 0x0020;
    if (dsrSensitivity) f |= 0x0040;
    if (txContinueOnXoff) f |= 0x0080;
    if (outxXonXoffFlow) f |= 0x0100;
    if (inxXonXoffFlow) f |= 0x0200;
    if (replaceWhenParityError) f |= 0x0400;
    if (ignoreNullChar) f |= 0x0800;
    switch (rtsControl) {
        case TRtsControl::RtsEnable:
            f |= 0x1000;
            break;
        case TRtsControl::RtsDisable:
            break;
        case TRtsControl::RtsHandshake:
            f |= 0x2000;
            break;
        case TRtsControl::RtsTransmissionAvailable:
            f |= 0x3000;
            break;
    }
    return f;  // fAbortOnError (0x4000) never
}

void TComm::ApplyCommTimeouts() {
    if (!open) return;
    ++timeoutApplies;
    open->readInterval.store(readIntervalTimeout);
    open->readMultiplier.store(readTotalTimeoutMultiplier);
    open->readConstant.store(readTotalTimeoutConstant);
    open->writeMultiplier.store(writeTotalTimeoutMultiplier);
    open->writeConstant.store(writeTotalTimeoutConstant);
    ApplySilence();
}

void TComm::ApplySilence() {
    if (!open || open->readFd < 0) return;
    const int tenths = SilenceTenths(open->readInterval.load(), open->readMultiplier.load(),
                                     open->readConstant.load());
    const cc_t vmin = tenths > 0 ? cc_t(std::min(open->ReadLength(), kKernelReadMax)) : 0;
    // The flag goes off before the settings and on after them, so that the receive thread
    // never starts a blocking read without them.
    if (tenths == 0) open->silenceInKernel.store(false);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        open->silenceInKernel.store(false);
        return;
    }
    if (t.c_cc[VMIN] != vmin || t.c_cc[VTIME] != cc_t(tenths)) {
        t.c_cc[VMIN] = vmin;
        t.c_cc[VTIME] = cc_t(tenths);
        if (::tcsetattr(fd, TCSANOW, &t) != 0) {
            open->silenceInKernel.store(false);
            return;
        }
    }
    if (tenths > 0) open->silenceInKernel.store(true);
}

void TComm::ApplyCommState() {
    if (fd < 0) return;
    ++stateApplies;
    const uint32_t flags = ControlFlags();
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return;  // a port that cannot be configured keeps what it has
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                           ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[std::min<int>(int(byteSize), 3)];
    switch (parity) {
        case TParity::None:
            break;
        case TParity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case TParity::Even:
            t.c_cflag |= PARENB;
            break;
        case TParity::Mark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case TParity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (stopBits != TStopBits::_1) t.c_cflag |= CSTOPB;  // 1.5 (with 5 data bits) and 2
    if (flags & 0x0002) t.c_iflag |= INPCK | PARMRK;     // errors marked, then resolved below
    if (flags & 0x0004 || (flags & 0x3000) == 0x2000) t.c_cflag |= CRTSCTS;
    if (flags & 0x0100) t.c_iflag |= IXON;
    if (flags & 0x0200) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = cc_t(xonChar);
    t.c_cc[VSTOP] = cc_t(xoffChar);
    const speed_t sp = SpeedConstant(baudRate);
    if (sp != 0) ::cfsetspeed(&t, sp);
    ::tcsetattr(fd, TCSANOW, &t);
    if (sp == 0) SerialSetCustomBaud(fd, baudRate);
    if (open) {
        open->markParity.store((flags & 0x0002) != 0);
        open->replaceParity.store((flags & 0x0400) != 0);
        open->replacedChar.store(uint8_t(replacedChar));
        open->ignoreNull.store((flags & 0x0800) != 0);
    }
    // Modem lines; a pseudo-terminal has none (the calls fail and are ignored).
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ::ioctl(fd, (flags & 0x0030) != 0 ? TIOCMBIS : TIOCMBIC, &dtr);
    if ((flags & 0x3000) == 0x1000)
        ::ioctl(fd, TIOCMBIS, &rts);
    else if ((flags & 0x3000) == 0)
        ::ioctl(fd, TIOCMBIC, &rts);
    serial_rs485 rs{};
    if (::ioctl(fd, TIOCGRS485, &rs) == 0) {
        const bool toggle = (flags & 0x3000) == 0x3000;
        if (bool(rs.flags & SER_RS485_ENABLED) != toggle) {
            rs.flags = toggle ? (rs.flags | SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND) &
                                    ~uint32_t(SER_RS485_RTS_AFTER_SEND)
                              : rs.flags & ~uint32_t(SER_RS485_ENABLED);
            ::ioctl(fd, TIOCSRS485, &rs);
        }
    }
}

// ---- published property list and stored values ------------------------------------------------

QStringList TComm::PublishedProperties() {
    return {QStringLiteral("CommPortIndex"),
            QStringLiteral("CommPortCount"),
            QStringLiteral("CommPortName"),
            QStringLiteral("PortOpen"),
            QStringLiteral("CommPort"),
            QStringLiteral("PortOpenError"),
            QStringLiteral("Output"),
            QStringLiteral("InputLen"),
            QStringLiteral("InBufferSize"),
            QStringLiteral("CommName"),
            QStringLiteral("BaudRate"),
            QStringLiteral("ParityCheck"),
            QStringLiteral("Outx_CtsFlow"),
            QStringLiteral("Outx_DsrFlow"),
            QStringLiteral("DtrControl"),
            QStringLiteral("DsrSensitivity"),
            QStringLiteral("TxContinueOnXoff"),
            QStringLiteral("Outx_XonXoffFlow"),
            QStringLiteral("Inx_XonXoffFlow"),
            QStringLiteral("ReplaceWhenParityError"),
            QStringLiteral("IgnoreNullChar"),
            QStringLiteral("RtsControl"),
            QStringLiteral("XonLimit"),
            QStringLiteral("XoffLimit"),
            QStringLiteral("ByteSize"),
            QStringLiteral("Parity"),
            QStringLiteral("StopBits"),
            QStringLiteral("XonChar"),
            QStringLiteral("XoffChar"),
            QStringLiteral("ReplacedChar"),
            QStringLiteral("ReadIntervalTimeout"),
            QStringLiteral("ReadTotalTimeoutMultiplier"),
            QStringLiteral("ReadTotalTimeoutConstant"),
            QStringLiteral("WriteTotalTimeoutMultiplier"),
            QStringLiteral("WriteTotalTimeoutConstant"),
            QStringLiteral("OnReceiveData"),
            QStringLiteral("OnReceiveError"),
            QStringLiteral("OnModemStateChange"),
            QStringLiteral("OnRequestHangup"),
            QStringLiteral("OnSendDataEmpty")};
}

std::vector<std::pair<QString, QString>> TComm::StoredProperties() const {
    std::vector<std::pair<QString, QString>> out;
    auto b = [](bool v) { return v ? QStringLiteral("True") : QStringLiteral("False"); };
    auto num = [](qulonglong v) { return QString::number(v); };
    // Declared default: left out when equal.
    auto withDefault = [&](const char* name, bool isDefault, const QString& text) {
        if (!isDefault) out.emplace_back(QString::fromLatin1(name), text);
    };
    // No declared default: stored with its value (strings and events only when not empty).
    auto always = [&](const char* name, const QString& text) {
        out.emplace_back(QString::fromLatin1(name), text);
    };
    auto text = [&](const char* name, const QString& v) {
        if (!v.isEmpty()) out.emplace_back(QString::fromLatin1(name), v);
    };
    auto event = [&](const char* name, bool set) {
        if (set) out.emplace_back(QString::fromLatin1(name), QStringLiteral("(assigned)"));
    };
    static const char* dtrNames[] = {"DtrEnable", "DtrDisable", "DtrHandshake"};
    static const char* rtsNames[] = {"RtsEnable", "RtsDisable", "RtsHandshake",
                                     "RtsTransmissionAvailable"};
    static const char* sizeNames[] = {"_5", "_6", "_7", "_8"};
    static const char* parityNames[] = {"None", "Odd", "Even", "Mark", "Space"};
    static const char* stopNames[] = {"_1", "_1_5", "_2"};
    withDefault("CommPortIndex", commPortIndex == 0, num(commPortIndex));
    withDefault("PortOpen", !PortOpen(), b(PortOpen()));
    withDefault("CommPort", commPort == 1, num(commPort));
    text("PortOpenError", portOpenError);
    text("Output", output);
    withDefault("InputLen", inputLen == 1, num(inputLen));
    withDefault("InBufferSize", inBufferSize == 2048, num(inBufferSize));
    text("CommName", commName);
    withDefault("BaudRate", baudRate == 9600, num(baudRate));
    withDefault("ParityCheck", !parityCheck, b(parityCheck));
    withDefault("Outx_CtsFlow", !outxCtsFlow, b(outxCtsFlow));
    withDefault("Outx_DsrFlow", !outxDsrFlow, b(outxDsrFlow));
    withDefault("DtrControl", dtrControl == TDtrControl::DtrDisable,
                QString::fromLatin1(dtrNames[int(dtrControl)]));
    withDefault("DsrSensitivity", !dsrSensitivity, b(dsrSensitivity));
    withDefault("TxContinueOnXoff", !txContinueOnXoff, b(txContinueOnXoff));
    withDefault("Outx_XonXoffFlow", !outxXonXoffFlow, b(outxXonXoffFlow));
    withDefault("Inx_XonXoffFlow", !inxXonXoffFlow, b(inxXonXoffFlow));
    withDefault("ReplaceWhenParityError", !replaceWhenParityError, b(replaceWhenParityError));
    withDefault("IgnoreNullChar", !ignoreNullChar, b(ignoreNullChar));
    withDefault("RtsControl", rtsControl == TRtsControl::RtsDisable,
                QString::fromLatin1(rtsNames[int(rtsControl)]));
    always("XonLimit", num(xonLimit));
    always("XoffLimit", num(xoffLimit));
    always("ByteSize", QString::fromLatin1(sizeNames[int(byteSize)]));
    always("Parity", QString::fromLatin1(parityNames[int(parity)]));
    always("StopBits", QString::fromLatin1(stopNames[int(stopBits)]));
    always("XonChar", num(uint8_t(xonChar)));
    always("XoffChar", num(uint8_t(xoffChar)));
    always("ReplacedChar", num(uint8_t(replacedChar)));
    always("ReadIntervalTimeout", num(readIntervalTimeout));
    always("ReadTotalTimeoutMultiplier", num(readTotalTimeoutMultiplier));
    always("ReadTotalTimeoutConstant", num(readTotalTimeoutConstant));
    always("WriteTotalTimeoutMultiplier", num(writeTotalTimeoutMultiplier));
    always("WriteTotalTimeoutConstant", num(writeTotalTimeoutConstant));
    event("OnReceiveData", bool(OnReceiveData));
    event("OnReceiveError", bool(OnReceiveError));
    event("OnModemStateChange", bool(OnModemStateChange));
    event("OnRequestHangup", bool(OnRequestHangup));
    event("OnSendDataEmpty", bool(OnSendDataEmpty));
    return out;
}

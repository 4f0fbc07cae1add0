// Finding and raising windows across processes, over local sockets.
//
// The conversation is one line each way, UTF-8:
//     FIND <class> <title>\n      ->  <handle in decimal, 0 for none>\n
//     FRONT <handle> <0|1>\n      ->  1\n or 0\n
// where a text is percent-encoded, or "-" for NULL.
#include "remote.h"
#include "window.h"

#include <winmutex.h>

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <map>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lwuser {
namespace {

// Plain Unix sockets with QtCore's notifier: the program should not pay for
// loading Qt's network stack at every start just to answer this.
// An instance answers from its message loop at once; one that has not
// answered within this long, connection included, is taken for silent. A
// process that holds our socket and never answers must not keep a start-up
// waiting: each silent one costs this once, and is then passed over for a while.
constexpr int kAnswerMs = 200;
constexpr auto kSilentFor = std::chrono::seconds(10);
constexpr qsizetype kMaxLine = 4096; // a request longer than this is not ours

QString RuntimeFolder()
{
    char folder[MAX_PATH * 4];
    if (!GetRuntimeFolder(folder, sizeof folder))
        return QString();
    return QString::fromLocal8Bit(folder);
}

QString SocketPath(const QString& folder, long long pid)
{
    return folder + QStringLiteral("/window-") + QString::number(pid);
}

QByteArray EncodeText(LPCWSTR text)
{
    if (!text)
        return "-";
    QByteArray utf8 = QString::fromUtf16(text).toUtf8();
    return utf8.isEmpty() ? QByteArray("%") : utf8.toPercentEncoding(); // "%" alone: the empty text
}

bool DecodeText(const QByteArray& field, std::u16string* text, bool* isNull)
{
    *isNull = field == "-";
    if (*isNull)
        return true;
    QString decoded = field == "%" ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(field));
    *text = decoded.toStdU16String();
    return true;
}

QByteArray Answer(const QByteArray& line)
{
    QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() == 3 && parts[0] == "FIND") {
        std::u16string className, title;
        bool noClass, noTitle;
        DecodeText(parts[1], &className, &noClass);
        DecodeText(parts[2], &title, &noTitle);
        HWND found = FindLocalWindow(noClass ? nullptr : className.c_str(), noTitle ? nullptr : title.c_str());
        return QByteArray::number(static_cast<qulonglong>(reinterpret_cast<uintptr_t>(found))) + "\n";
    }
    if (parts.size() == 3 && parts[0] == "FRONT") {
        bool ok = false;
        qulonglong handle = parts[1].toULongLong(&ok);
        Window* w = ok ? PeekWindowRecord(reinterpret_cast<HWND>(static_cast<uintptr_t>(handle))) : nullptr;
        if (!w || w->remote || (handle & 1))
            return "0\n";
        uintptr_t flagged = static_cast<uintptr_t>(handle) | (parts[2] == "1" ? 1 : 0);
        return SetForegroundWindow(reinterpret_cast<HWND>(flagged)) ? "1\n" : "0\n";
    }
    return "0\n";
}

bool SocketAddress(const QString& path, sockaddr_un* address)
{
    QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= (qsizetype)sizeof address->sun_path)
        return false;
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    memcpy(address->sun_path, bytes.constData(), bytes.size());
    return true;
}

// Waits for `events` on fd; false after `ms` or on an error.
bool WaitFor(int fd, short events, int ms)
{
    pollfd p = {fd, events, 0};
    int n;
    while ((n = poll(&p, 1, ms)) < 0 && errno == EINTR) {
    }
    return n > 0 && (p.revents & events);
}

// One connection of the answering side: reads one line, answers, closes.
void Serve(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, buffer, fd] {
        char chunk[512];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n > 0)
            buffer->append(chunk, n);
        qsizetype end = buffer->indexOf('\n');
        if (end >= 0) {
            QByteArray reply = Answer(buffer->left(end));
            if (WaitFor(fd, POLLOUT, kAnswerMs))
                (void)!write(fd, reply.constData(), reply.size());
        } else if (n > 0 && buffer->size() <= kMaxLine) {
            return;
        }
        notifier->setEnabled(false);
        close(fd);
        notifier->deleteLater();
    });
}

// Instances that did not answer in time, and until when they are passed over.
std::map<long long, std::chrono::steady_clock::time_point>& SilentInstances()
{
    static std::map<long long, std::chrono::steady_clock::time_point> silent;
    return silent;
}

bool PassedOver(long long pid)
{
    auto it = SilentInstances().find(pid);
    if (it == SilentInstances().end())
        return false;
    if (std::chrono::steady_clock::now() < it->second)
        return true;
    SilentInstances().erase(it);
    return false;
}

// The milliseconds left until `deadline`, at least 0.
int MsLeft(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? (int)left.count() : 0;
}

// One question to one instance, answered within kAnswerMs in all; an empty
// answer (and the instance passed over for a while) when it is not.
QByteArray Ask(long long pid, const QString& path, const QByteArray& request)
{
    sockaddr_un address;
    if (!SocketAddress(path, &address))
        return QByteArray();
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return QByteArray();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    QByteArray reply;
    bool connected = connect(fd, (sockaddr*)&address, sizeof address) == 0 ||
                     ((errno == EINPROGRESS || errno == EAGAIN) && WaitFor(fd, POLLOUT, MsLeft(deadline)));
    if (connected && WaitFor(fd, POLLOUT, MsLeft(deadline)) &&
        write(fd, request.constData(), request.size()) == request.size()) {
        char chunk[512];
        while (!reply.contains('\n') && reply.size() < kMaxLine && WaitFor(fd, POLLIN, MsLeft(deadline))) {
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            reply.append(chunk, n);
        }
    }
    close(fd);
    if (connected && !reply.contains('\n'))
        SilentInstances()[pid] = std::chrono::steady_clock::now() + kSilentFor;
    return reply.left(reply.indexOf('\n'));
}

bool ProcessAlive(long long pid)
{
    return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

void StartRemoteServer()
{
    static QSocketNotifier* server = nullptr;
    static QString listening;
    QString folder = RuntimeFolder();
    // The folder can change under a process that runs many programs' worth of
    // windows (a test suite); the socket follows it.
    if (folder.isEmpty() || (server && folder == listening))
        return;
    if (server) {
        close((int)server->socket());
        delete server;
        server = nullptr;
    }
    listening = folder;
    QString path = SocketPath(folder, getpid());
    sockaddr_un address;
    if (!SocketAddress(path, &address))
        return;
    unlink(address.sun_path); // a file of a dead process that had our pid
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // Only this user may ask (the runtime folder is private as well).
    if (bind(fd, (sockaddr*)&address, sizeof address) != 0 || chmod(address.sun_path, 0600) != 0 ||
        listen(fd, 8) != 0) {
        close(fd);
        return;
    }
    server = new QSocketNotifier(fd, QSocketNotifier::Read);
    QObject::connect(server, &QSocketNotifier::activated, server, [fd] {
        int client;
        while ((client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0)
            Serve(client);
    });
}

bool RemoteFindWindow(LPCWSTR className, LPCWSTR title, long long* pid, unsigned long long* handle)
{
    QString folder = RuntimeFolder();
    if (folder.isEmpty())
        return false;
    QByteArray request = "FIND " + EncodeText(className) + " " + EncodeText(title) + "\n";
    const QStringList names = QDir(folder).entryList({QStringLiteral("window-*")}, QDir::System | QDir::Files);
    for (const QString& name : names) {
        bool ok = false;
        long long other = name.mid(7).toLongLong(&ok);
        if (!ok || other == getpid() || PassedOver(other))
            continue;
        if (!ProcessAlive(other)) {
            QFile::remove(SocketPath(folder, other)); // left by a crash
            continue;
        }
        QByteArray reply = Ask(other, SocketPath(folder, other), request);
        unsigned long long found = reply.toULongLong(&ok);
        if (ok && found) {
            *pid = other;
            *handle = found;
            return true;
        }
    }
    return false;
}

bool RemoteSetForeground(long long pid, unsigned long long handle, bool withOwned)
{
    QString folder = RuntimeFolder();
    if (folder.isEmpty() || !ProcessAlive(pid))
        return false;
    QByteArray request = "FRONT " + QByteArray::number(handle) + (withOwned ? " 1\n" : " 0\n");
    return Ask(pid, SocketPath(folder, pid), request) == "1";
}

HWND FindLocalWindow(LPCWSTR className, LPCWSTR title)
{
    // Topmost first, as Windows searches.
    const std::vector<HWND>& z = ZOrder();
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
        Window* w = PeekWindowRecord(*it);
        if (!w || w->destroying)
            continue;
        if (className && _wcsicmp(w->windowClass->name.c_str(), className) != 0)
            continue;
        if (title && _wcsicmp(w->text.c_str(), title) != 0)
            continue;
        return *it;
    }
    return nullptr;
}

} // namespace lwuser

using namespace lwuser;

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    if (className && IS_INTRESOURCE(className)) {
        WindowClass* c = FindClass(className); // an atom: this process's class of that atom
        if (!c)
            return nullptr;
        className = c->name.c_str();
    }
    if (HWND local = FindLocalWindow(className, windowName))
        return local;
    EnsureApplication();
    long long pid;
    unsigned long long handle;
    if (RemoteFindWindow(className, windowName, &pid, &handle))
        return RemoteWindowHandle(pid, handle);
    return nullptr;
}

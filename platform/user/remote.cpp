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
#include <QLocalServer>
#include <QLocalSocket>

#include <csignal>
#include <unistd.h>

namespace lwuser {
namespace {

constexpr int kConnectMs = 500;
constexpr int kAnswerMs = 2000;
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

void Serve(QLocalSocket* socket)
{
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] {
        *buffer += socket->readAll();
        qsizetype end = buffer->indexOf('\n');
        if (end < 0) {
            if (buffer->size() > kMaxLine)
                socket->abort();
            return;
        }
        socket->write(Answer(buffer->left(end)));
        socket->flush();
        socket->disconnectFromServer();
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
}

// One question to one instance; an empty answer when it does not answer in time.
QByteArray Ask(const QString& path, const QByteArray& request)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMs))
        return QByteArray();
    socket.write(request);
    if (!socket.waitForBytesWritten(kAnswerMs))
        return QByteArray();
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() < kMaxLine) {
        if (!socket.waitForReadyRead(kAnswerMs))
            break;
        reply += socket.readAll();
    }
    return reply.left(reply.indexOf('\n'));
}

bool ProcessAlive(long long pid)
{
    return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

void StartRemoteServer()
{
    static QLocalServer* server = nullptr;
    static QString listening;
    QString folder = RuntimeFolder();
    // The folder can change under a process that runs many programs' worth of
    // windows (a test suite); the socket follows it.
    if (folder.isEmpty() || (server && folder == listening))
        return;
    delete server;
    server = new QLocalServer;
    listening = folder;
    server->setSocketOptions(QLocalServer::UserAccessOption);
    QString path = SocketPath(folder, getpid());
    QLocalServer::removeServer(path); // a file of a dead process that had our pid
    if (!server->listen(path))
        return;
    QLocalServer* current = server;
    QObject::connect(server, &QLocalServer::newConnection, [current] {
        while (QLocalSocket* socket = current->nextPendingConnection())
            Serve(socket);
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
        if (!ok || other == getpid())
            continue;
        if (!ProcessAlive(other)) {
            QLocalServer::removeServer(SocketPath(folder, other)); // left by a crash
            continue;
        }
        QByteArray reply = Ask(SocketPath(folder, other), request);
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
    return Ask(SocketPath(folder, pid), request) == "1";
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
        EnsureSystemClasses();
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

#include "model/Autosave.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "model/InstanceLock.h"
#include "model/CadSession.h"
#include "model/DxfFile.h"
#include "FileAccess.h"

namespace tessik::cadhost {

Autosave::Autosave(CadSession& session, const QString& socketPath, QObject* parent)
    : QObject(parent),
      session_(session),
      socketPath_(QFileInfo(socketPath).absoluteFilePath()),
      key_(QString::fromLatin1(
          QCryptographicHash::hash(QFile::encodeName(QFileInfo(socketPath).absoluteFilePath()),
                                   QCryptographicHash::Sha256)
              .toHex()
              .left(24)))
{
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &Autosave::onTimer);
}

Autosave::~Autosave()
{
    if (writer_.joinable()) writer_.join();
}

QString Autosave::defaultFolder()
{
    // XDG base directories must be absolute paths; a relative one is ignored
    // as if unset.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tessik/autosave");
}

std::chrono::milliseconds Autosave::intervalFromEnvironment(QString* warning)
{
    const QString text = qEnvironmentVariable("TESSIK_CAD_AUTOSAVE_SECONDS").trimmed();
    if (text.isEmpty()) return kDefaultInterval;
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    // A timer counts milliseconds in an int: about 24 days at most.
    if (ok && std::isfinite(seconds) && seconds > 0 && seconds <= 2'000'000)
        return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
    if (warning)
        *warning = QStringLiteral("TESSIK_CAD_AUTOSAVE_SECONDS=“%1”不是 0 到 2000000 之间的秒数，改用默认的 %2 秒。")
                       .arg(text)
                       .arg(kDefaultInterval.count() / 1000);
    return kDefaultInterval;
}

QString Autosave::copyPath() const { return folder_ + u'/' + key_ + QStringLiteral(".dxf"); }
QString Autosave::notePath() const { return folder_ + u'/' + key_ + QStringLiteral(".json"); }

Status Autosave::start(const QString& folder, std::chrono::milliseconds interval)
{
    folder_ = QDir::cleanPath(folder);
    const auto off = [&](const QString& why) {
        return Error{-1, QStringLiteral("自动保存已关闭：%1").arg(why).toStdString(), folder_.toStdString()};
    };
    if (!QDir().mkpath(folder_)) return off(QStringLiteral("无法创建文件夹“%1”。").arg(folder_));
    // Drawings are the user's own: nobody else reads the copies.
    QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto lock = std::make_unique<InstanceLock>(folder_ + u'/' + key_);
    switch (lock->tryLock()) {
    case InstanceLock::Outcome::Taken: break;
    case InstanceLock::Outcome::Held: return off(QStringLiteral("另一个 Tessik CAD 正在使用“%1”。").arg(copyPath()));
    case InstanceLock::Outcome::Failed: return off(lock->failure());
    }
    lock_ = std::move(lock);
    timer_.setInterval(interval);
    connect(&session_, &CadSession::documentChanged, this, &Autosave::onDocumentChanged);
    connect(&session_, &CadSession::entitiesChanged, this, &Autosave::onEdited);
    connect(&session_, &CadSession::entityAdded, this, &Autosave::onEdited);
    return success();
}

bool Autosave::recover()
{
    if (!active() || !QFileInfo(copyPath()).isFile()) return false;
    QJsonObject note;
    if (auto bytes = dxf::readRegularFile(QFile::encodeName(notePath()).toStdString(), 1 << 20))
        note = QJsonDocument::fromJson(QByteArray::fromStdString(*bytes)).object();
    const QString path = note.value(QStringLiteral("path")).toString();
    const QString name = note.value(QStringLiteral("name")).toString();
    auto read = session_.recoverDocument(copyPath(), path, name);
    if (!read) {
        // Set aside, not removed: the next write must not replace what may
        // still be the user's only copy of their work, nor a later one set
        // aside an earlier one.
        const QString why = QString::fromStdString(read.error().description);
        const auto aside = setAside(copyPath(), QStringLiteral("unreadable"));
        const QString text =
            aside ? QStringLiteral("无法恢复自动保存的图形%1：%2。文件已保留为“%3”。")
                        .arg(path.isEmpty() ? QString() : QStringLiteral("（原文件“%1”）").arg(path), why, *aside)
                  : QStringLiteral("无法恢复自动保存的图形“%1”：%2。也无法把它移开（%3），自动保存已关闭，以免覆盖它。")
                        .arg(copyPath(), why, QString::fromStdString(aside.error().description));
        if (aside) QFile::remove(notePath());
        else lock_.reset();
        emit session_.message(text);
        return false;
    }
    // The copy on disk is this drawing's until the next write replaces it.
    dirty_ = false;
    const QString where = path.isEmpty() ? QStringLiteral("尚未保存过") : QStringLiteral("原文件“%1”").arg(path);
    emit session_.message(
        QStringLiteral("已恢复上次未正常退出时自动保存的图形“%1”（%2，%3 个对象）：修改尚未保存，请保存或放弃。")
            .arg(session_.document()->name(), where)
            .arg(read->read));
    return true;
}

void Autosave::onDocumentChanged()
{
    const DrawingDocument* doc = session_.document();
    if (!doc || !doc->modified()) {
        discard();
        return;
    }
    dirty_ = true;
    if (!timer_.isActive()) timer_.start();
}

void Autosave::onEdited()
{
    const DrawingDocument* doc = session_.document();
    if (!doc || !doc->modified()) return;
    dirty_ = true;
    if (!timer_.isActive()) timer_.start();
}

void Autosave::onTimer()
{
    // Never two writes at once: a write under way is followed by another
    // as soon as it is done.
    if (writing_) {
        again_ = true;
        return;
    }
    startWrite();
}

void Autosave::startWrite()
{
    const DrawingDocument* doc = session_.document();
    if (!active() || !doc || !doc->modified() || !dirty_) return;
    collectWriter();
    // Taken here, on the event loop, as the drawing stands now; formatted
    // and written on the writer thread while clients go on being served.
    std::shared_ptr<const DrawingDocument> copy = doc->snapshot();
    std::string note = noteFor(*doc);
    std::uint64_t generation = 0;
    {
        const std::lock_guard<std::mutex> files(files_);
        generation = generation_;
    }
    dirty_ = false;
    writing_ = true;
    writer_ = std::thread([this, copy = std::move(copy), note = std::move(note), generation] {
        const Status written = writeFiles(*copy, note, generation);
        {
            const std::lock_guard<std::mutex> files(files_);
            written_ = written;
        }
        QMetaObject::invokeMethod(this, &Autosave::collectWriter, Qt::QueuedConnection);
    });
}

void Autosave::collectWriter()
{
    if (writer_.joinable()) writer_.join();
    std::optional<Status> written;
    {
        const std::lock_guard<std::mutex> files(files_);
        written.swap(written_);
    }
    if (!written) return;
    writing_ = false;
    if (!*written) {
        // What the failed write held is not on disk: write it again.
        dirty_ = true;
        if (!failing_)
            emit session_.message(QStringLiteral("自动保存失败：%1").arg(QString::fromStdString(written->error().description)));
    }
    failing_ = !*written;
    if (std::exchange(again_, false)) startWrite();
}

QStringList Autosave::othersLeftBehind() const
{
    QStringList found;
    if (!active()) return found;
    static const QRegularExpression copyName(QStringLiteral("^[0-9a-f]{24}\\.dxf$"));
    const QDir folder(folder_);
    for (const QString& name : folder.entryList({QStringLiteral("*.dxf")}, QDir::Files, QDir::Name)) {
        const QString key = name.chopped(4);
        if (key == key_ || !copyName.match(name).hasMatch()) continue;
        // A live instance holds its lock: its copy is its own business.
        const QByteArray lock = QFile::encodeName(folder.filePath(key + QStringLiteral(".lock")));
        const int fd = ::open(lock.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        const bool live = fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (fd >= 0) ::close(fd);
        if (live) continue;
        QJsonObject note;
        if (auto bytes = dxf::readRegularFile(QFile::encodeName(folder.filePath(key + QStringLiteral(".json"))).toStdString(), 1 << 20))
            note = QJsonDocument::fromJson(QByteArray::fromStdString(*bytes)).object();
        const QString socket = note.value(QStringLiteral("socket")).toString();
        const QString drawing = note.value(QStringLiteral("path")).toString();
        found << QStringLiteral("自动保存文件夹中有%1上的 Tessik CAD 未正常退出时留下的图形%2：“%3”。%4")
                     .arg(socket.isEmpty() ? QStringLiteral("另一个套接字") : QStringLiteral("套接字“%1”").arg(socket),
                          drawing.isEmpty() ? QString() : QStringLiteral("（原文件“%1”）").arg(drawing),
                          folder.filePath(name),
                          socket.isEmpty() ? QStringLiteral("可以直接打开它并另存。")
                                           : QStringLiteral("以 TESSIK_CAD_SOCKET=%1 启动即可恢复，也可以直接打开它并另存。").arg(socket));
    }
    return found;
}

std::string Autosave::noteFor(const DrawingDocument& doc) const
{
    const QJsonObject note{{QStringLiteral("path"), doc.path()},
                           {QStringLiteral("name"), doc.name()},
                           {QStringLiteral("socket"), socketPath_}};
    return QJsonDocument(note).toJson(QJsonDocument::Compact).toStdString();
}

Status Autosave::writeFiles(const DrawingDocument& doc, const std::string& note, std::uint64_t generation)
{
    auto bytes = dxfBytes(doc);
    if (!bytes) return bytes.error();
    const std::lock_guard<std::mutex> files(files_);
    // Discarded since the copy was taken: the changes were dealt with.
    if (generation != generation_) return success();
    if (Status s = dxf::replaceFile(QFile::encodeName(notePath()).toStdString(), note); !s) return s;
    return dxf::replaceFile(QFile::encodeName(copyPath()).toStdString(), *bytes);
}

Status Autosave::writeNow()
{
    collectWriter();
    const DrawingDocument* doc = session_.document();
    if (!active() || !doc || !doc->modified() || !dirty_) return success();
    std::uint64_t generation = 0;
    {
        const std::lock_guard<std::mutex> files(files_);
        generation = generation_;
    }
    const Status written = writeFiles(*doc, noteFor(*doc), generation);
    if (written) dirty_ = false;
    return written;
}

void Autosave::discard()
{
    timer_.stop();
    dirty_ = false;
    again_ = false;
    if (!active()) return;
    // Waits for a write under way to finish its files, and stops one that
    // has not begun them.
    const std::lock_guard<std::mutex> files(files_);
    ++generation_;
    QFile::remove(copyPath());
    QFile::remove(notePath());
}

namespace {

// Writes a file that did not exist; 0, or the errno of the failure (EEXIST:
// the name is taken, nothing was touched).
int writeNewFile(const QString& path, const std::string& bytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    int error = 0;
    for (std::size_t done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) ::unlink(native.constData());
    return error;
}

}  // namespace

Result<QString> Autosave::writeEmergencyCopy(const DrawingDocument& document)
{
    auto bytes = dxfBytes(document);
    if (!bytes) return bytes.error();
    QString stem = QFileInfo(QFileInfo(document.name()).fileName()).completeBaseName();
    if (stem.isEmpty()) stem = QStringLiteral("drawing");
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QStringList folders;
    if (!document.path().isEmpty()) folders << QFileInfo(document.path()).absolutePath();
    // The temporary folder the environment names, as it names it: QDir::tempPath()
    // answers an empty path (the working folder) for one that is missing.
    const QString temp = qEnvironmentVariable("TMPDIR");
    folders << (QDir::isAbsolutePath(temp) ? QDir::cleanPath(temp) : QStringLiteral("/tmp"));
    QStringList failures;
    for (const QString& folder : folders) {
        int error = EEXIST;
        QString path;
        for (int n = 1; n <= 100 && error == EEXIST; ++n) {
            path = QStringLiteral("%1/%2-emergency-%3%4.dxf")
                       .arg(folder, stem, stamp, n == 1 ? QString() : QStringLiteral("-%1").arg(n));
            error = writeNewFile(path, *bytes);
        }
        if (error == 0) return path;
        failures << QStringLiteral("“%1”：%2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    return Error{-1, failures.join(QStringLiteral("；")).toStdString(), {}};
}

}  // namespace tessik::cadhost

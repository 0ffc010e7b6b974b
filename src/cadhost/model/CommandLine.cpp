#include "model/CommandLine.h"

#include <cmath>

#include <QStringList>

namespace tessik::cadhost {

std::optional<Point3> parsePointText(const QString& text, const std::optional<Point3>& base)
{
    QString t = text.trimmed();
    const bool relative = t.startsWith(u'@');
    if (relative) {
        if (!base) return std::nullopt;
        t = t.mid(1);
    }
    const QStringList parts = t.split(u',');
    if (parts.size() != 2 && parts.size() != 3) return std::nullopt;
    Point3 p{0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const double v = parts[i].trimmed().toDouble(&ok);  // QString::toDouble is C-locale
        if (!ok || !std::isfinite(v)) return std::nullopt;
        p[static_cast<std::size_t>(i)] = v;
    }
    if (relative)
        for (std::size_t i = 0; i < 3; ++i) p[i] += (*base)[i];
    return p;
}

void CommandLine::setText(const QString& text)
{
    const QString kept = text.left(kMaxLength);
    if (kept == text_) return;
    text_ = kept;
    emit textChanged(text_);
    if (text.size() > kMaxLength) emit overflowed(text.size() - kMaxLength);
}

void CommandLine::type(QStringView text)
{
    QString pending = text_;
    qsizetype dropped = 0;
    auto flush = [&] {
        setText(pending);
        if (dropped > 0) emit overflowed(dropped);
        dropped = 0;
    };
    for (QChar c : text) {
        if (c == u'\n' || c == u'\r') {
            flush();
            submit();
            pending = text_;
        } else if (c == QChar(0x1b)) {
            flush();
            escape();
            pending = text_;
        } else if (c == QChar(0x08)) {
            pending.chop(1);
        } else if (c.isPrint() || c == u' ') {
            if (pending.size() < kMaxLength)
                pending.append(c);
            else
                ++dropped;
        }
    }
    flush();
}

void CommandLine::submit()
{
    const QString line = text_;
    setText(QString());
    emit submitted(line);
}

void CommandLine::escape()
{
    setText(QString());
    emit escaped();
}

}  // namespace tessik::cadhost

#include "app/document/ProblemText.h"

#include <QRegularExpression>

#include <charconv>

namespace prismeta {

namespace {

// Names longer than this are cut: a warning is read, not scrolled.
constexpr qsizetype maxShownName = 80;

QString shownName(const std::string& name) {
    QString text = QString::fromStdString(name).simplified();
    if (text.size() > maxShownName) {
        text = text.left(maxShownName - 1) + QChar(0x2026);
    }
    return text;
}

} // namespace

QString describeForPeople(const std::string& reason, const ListedName& name) {
    static const QRegularExpression position(
        QStringLiteral("\\b(surfaces|outputs)\\[(\\d+)\\](\\.?)"));
    const QString text = QString::fromStdString(reason);
    QString out;
    qsizetype done = 0;
    QRegularExpressionMatchIterator matches = position.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString list = match.captured(1);
        const QByteArray digits = match.captured(2).toLatin1();
        std::size_t index = 0;
        const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (parsed.ec != std::errc() || index == static_cast<std::size_t>(-1)) {
            continue; // a number no list reaches: left as written
        }
        out += text.mid(done, match.capturedStart() - done);
        const bool surfaces = list == QLatin1String("surfaces");
        out += (surfaces ? QStringLiteral("surface ") : QStringLiteral("output ")) +
               QString::number(index + 1);
        const std::optional<std::string> known =
            name ? name(surfaces ? "surfaces" : "outputs", index) : std::nullopt;
        if (known && !shownName(*known).isEmpty()) {
            out += QStringLiteral(" (\"") + shownName(*known) + QStringLiteral("\")");
        }
        // "surfaces[1].mediaKind" -> "surface 2 (...) mediaKind".
        if (!match.captured(3).isEmpty()) {
            out += QLatin1Char(' ');
        }
        done = match.capturedEnd();
    }
    out += text.mid(done);
    return out;
}

} // namespace prismeta

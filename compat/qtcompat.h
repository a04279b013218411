#pragma once

// The few calls that cannot be written one way for both Qt 5.15 and Qt 6. The pattern helpers need
// QtGui, so targets without it (the simulator) see only the rest.

#include <QString>
#include <QTextStream>
#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringConverter>
#ifdef QT_GUI_LIB
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#endif
#else
#ifdef QT_GUI_LIB
#include <QGuiApplication>
#include <QRegExp>
#include <QRegExpValidator>
#endif
#endif

namespace QtCompat {

#ifdef QT_GUI_LIB
// Called before the application object exists. On Windows the window follows the display's scaling
// (a laptop at 150 % would otherwise cut texts off in the fixed sizes), at the exact factor; Qt 6
// does this by itself, and on Linux the window keeps its look.
inline void followDisplayScaling()
{
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QGuiApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
}
#endif

inline void setUtf8(QTextStream &stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::Utf8);
#else
    stream.setCodec("UTF-8");
#endif
}

// Patterns keep the meaning they have for QRegExp: \d and \w take every Unicode digit and letter, a
// dot takes any character, "$" only the end of the text, and a match counts only when it covers the
// whole text. The validator calls every prefix of a match Intermediate.
#ifdef QT_GUI_LIB
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
// PCRE's "$" also matches before a final newline, so "12\n" would pass as Intermediate; "\z" is
// what QRegExp's "$" means. Escapes and bracket classes are copied unchanged.
inline QRegularExpression regExpLike(const QString &pattern)
{
    QString translated;
    bool escaped = false;
    int classStart = -1;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (escaped) {
            escaped = false;
        } else if (c == QLatin1Char('\\')) {
            escaped = true;
        } else if (classStart >= 0) {
            // A "]" right after "[" or "[^" is a member, not the end of the class.
            const bool first = i == classStart + 1 || (i == classStart + 2 && pattern.at(i - 1) == QLatin1Char('^'));
            if (c == QLatin1Char(']') && !first) {
                classStart = -1;
            }
        } else if (c == QLatin1Char('[')) {
            classStart = i;
        } else if (c == QLatin1Char('$')) {
            translated += QLatin1String("\\z");
            continue;
        }
        translated += c;
    }
    return QRegularExpression(
        translated, QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::DotMatchesEverythingOption);
}

inline QValidator *newPatternValidator(const QString &pattern, QObject *parent)
{
    return new QRegularExpressionValidator(regExpLike(pattern), parent);
}

inline bool matchesWhole(const QString &pattern, const QString &text)
{
    const QRegularExpression expression = regExpLike(pattern);
    return QRegularExpression(QRegularExpression::anchoredPattern(expression.pattern()), expression.patternOptions())
        .match(text)
        .hasMatch();
}
#else
inline QValidator *newPatternValidator(const QString &pattern, QObject *parent)
{
    return new QRegExpValidator(QRegExp(pattern), parent);
}

inline bool matchesWhole(const QString &pattern, const QString &text)
{
    return QRegExp(pattern).exactMatch(text);
}
#endif
#endif

} // namespace QtCompat

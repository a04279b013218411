#pragma once

// The few calls that cannot be written one way for both Qt 5.15 and Qt 6. Everything else in the
// code uses forms valid on both. The pattern helpers need QtGui, so targets without it (the
// simulator) see only the rest.

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
#include <QRegExp>
#include <QRegExpValidator>
#endif
#endif

namespace QtCompat {

inline void setUtf8(QTextStream &stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::Utf8);
#else
    stream.setCodec("UTF-8");
#endif
}

// Patterns keep the meaning they have for QRegExp: \d and \w take every Unicode digit and letter, a
// dot takes any character, and a match counts only when it covers the whole text. The validator
// calls every prefix of a match Intermediate.
#ifdef QT_GUI_LIB
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
inline constexpr QRegularExpression::PatternOptions RegExpOptions =
    QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::DotMatchesEverythingOption;

inline QValidator *newPatternValidator(const QString &pattern, QObject *parent)
{
    return new QRegularExpressionValidator(QRegularExpression(pattern, RegExpOptions), parent);
}

inline bool matchesWhole(const QString &pattern, const QString &text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern), RegExpOptions).match(text).hasMatch();
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

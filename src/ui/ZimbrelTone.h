#pragma once

#include <QObject>
#include <QQmlEngine>

// How a brand mark is coloured. Auto follows the appearance: the dark look
// while it is dark, the light look otherwise.
namespace ZimbrelTone {
Q_NAMESPACE
QML_ELEMENT

enum Value { OnDark, OnLight, Auto };
Q_ENUM_NS(Value)

// Whether `tone` draws the dark look when the appearance is `dark`.
inline bool darkLook(int tone, bool dark)
{
    return tone == OnDark || (tone != OnLight && dark);
}
} // namespace ZimbrelTone

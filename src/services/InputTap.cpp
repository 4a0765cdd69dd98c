#include "InputTap.h"

#include "EvdevTap.h"
#include "XConnection.h"
#include "XInputTap.h"

InputTap::InputTap(Sink sink)
    : m_sink(std::move(sink))
{
}

InputTap::~InputTap() = default;

std::unique_ptr<InputTap> InputTap::create(Sink sink)
{
    // A Wayland compositor hands no other client's input to us, not even
    // through Xwayland, so there the event devices are the only source.
    if (!XConnection::x11Session())
        return EvdevTap::open(std::move(sink));
    return XInputTap::open(std::move(sink));
}

bool InputTap::available()
{
    if (!XConnection::x11Session())
        return EvdevTap::available();
    return XInputTap::available();
}

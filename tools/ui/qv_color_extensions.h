#pragma once

// Colours from 24-bit (0xRRGGBB) and 32-bit (0xRRGGBBAA) hexadecimal values,
// each component value ÷ 255.
//
// Qt paints in sRGB and a QColor has no colour space of its own, so the
// space a caller names is accepted for the callers' sake and every colour is
// drawn with its components as given.

#include <QColor>
#include <cstdint>

enum class QVColorSpace { GenericRGB, SRGB, DeviceRGB };

QColor QVColorWithRGBAHex(std::uint32_t rgba, QVColorSpace space = QVColorSpace::GenericRGB);
QColor QVColorWithRGBHex(std::uint32_t rgb, QVColorSpace space = QVColorSpace::GenericRGB);
QColor QVColorWithSRGBHex(std::uint32_t rgb);
QColor QVColorWithDeviceRGBHex(std::uint32_t rgb);

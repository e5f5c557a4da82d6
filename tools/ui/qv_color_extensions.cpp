#include "tools/ui/qv_color_extensions.h"

QColor QVColorWithRGBAHex(std::uint32_t rgba, QVColorSpace) {
  const auto component = [rgba](int shift) { return static_cast<int>((rgba >> shift) & 0xFF); };
  return QColor(component(24), component(16), component(8), component(0));
}

QColor QVColorWithRGBHex(std::uint32_t rgb, QVColorSpace space) {
  return QVColorWithRGBAHex((rgb << 8) | 0xFF, space);
}

QColor QVColorWithSRGBHex(std::uint32_t rgb) { return QVColorWithRGBHex(rgb, QVColorSpace::SRGB); }

QColor QVColorWithDeviceRGBHex(std::uint32_t rgb) { return QVColorWithRGBHex(rgb, QVColorSpace::DeviceRGB); }

#pragma once

// The Mac a sign-in is bound to, kept as hashes of its hardware UUID and
// primary MAC address so that the raw identifiers are never stored.

#include <cstdint>
#include <memory>
#include <string_view>

#include "interface/model/afx_base_model_object.h"

class AFXMachineInfo final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // This machine.
  static std::shared_ptr<AFXMachineInfo> make();
  static std::shared_ptr<AFXMachineInfo> initWithHardwareUUID(std::string_view hardwareUUID,
                                                              std::string_view MACAddress);
  // Whether `info` describes this machine.
  static bool isCurrentMachine(const AFXMachineInfo& info);

  // The string hash behind both values: FNV-1a over the UTF-8 bytes, the
  // same in every process and run.
  static std::uint64_t stableHash(std::string_view text);

  std::uint64_t hardwareUUIDHash() const { return hardwareUUIDHash_; }
  std::uint64_t MACAddressHash() const { return MACAddressHash_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXMachineInfo() = default;
  std::uint64_t hardwareUUIDHash_ = 0;
  std::uint64_t MACAddressHash_ = 0;
};

#pragma once

// A named group of catalogue apps. The coded twin lists its apps by
// identifier; the managed twin links them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/set.h"
#include "foundation/string.h"
#include "interface/model/afx_coded_model_object.h"
#include "interface/model/afx_model_support.h"

class AFXAppCollection {
 public:
  virtual ~AFXAppCollection() = default;

  virtual const std::optional<std::int64_t>& identifier() const = 0;
  virtual const std::optional<std::string>& name() const = 0;
  virtual const std::optional<std::int64_t>& priority() const = 0;
  virtual const std::optional<std::string>& localizedName() const = 0;
  // Never null.
  virtual std::shared_ptr<fnd::Set> applicationIDs() const = 0;
};

// Equal when identifier, name and localized name all are; hashed by
// identifier alone.
std::size_t AFXAppCollectionHash(const AFXAppCollection& collection);
bool AFXAppCollectionIsEqual(const AFXAppCollection& collection, const fnd::Object& other);
std::string AFXAppCollectionDescription(const fnd::Object& object, const AFXAppCollection& collection);
void AFXAppCollectionSetupReflection(QVClassReflection& reflection);

namespace afx_catalogue_detail {

template <class Root>
class AppCollectionTwin : public Root, public virtual AFXAppCollection {
 public:
  const std::optional<std::int64_t>& identifier() const override { return identifier_; }
  void setIdentifier(std::optional<std::int64_t> value) { identifier_ = value; }
  const std::optional<std::string>& name() const override { return name_; }
  void setName(std::optional<std::string> value) { name_ = std::move(value); }
  const std::optional<std::int64_t>& priority() const override { return priority_; }
  void setPriority(std::optional<std::int64_t> value) { priority_ = value; }
  const std::optional<std::string>& localizedName() const override { return localizedName_; }
  void setLocalizedName(std::optional<std::string> value) { localizedName_ = std::move(value); }

  bool isEqual(const fnd::Object& other) const override { return AFXAppCollectionIsEqual(*this, other); }
  std::size_t hash() const override { return AFXAppCollectionHash(*this); }
  std::string description() const override { return AFXAppCollectionDescription(*this, *this); }

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::memberProperty;
    return {memberProperty("identifier", &AppCollectionTwin::identifier_),
            memberProperty("name", &AppCollectionTwin::name_),
            memberProperty("priority", &AppCollectionTwin::priority_),
            memberProperty("localizedName", &AppCollectionTwin::localizedName_)};
  }

 protected:
  AppCollectionTwin() = default;

 private:
  std::optional<std::int64_t> identifier_;
  std::optional<std::string> name_;
  std::optional<std::int64_t> priority_;
  std::optional<std::string> localizedName_;
};

}  // namespace afx_catalogue_detail

class AFXCodedAppCollection final : public afx_catalogue_detail::AppCollectionTwin<AFXCodedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFXCodedAppCollection> make();

  std::shared_ptr<fnd::Set> applicationIDs() const override { return applicationIDs_; }
  void setApplicationIDs(std::shared_ptr<fnd::Set> identifiers);

  // The table plus "applicationIDs", coded by hand.
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;
  void setupWithPrototype(const fnd::Object& prototype) override;

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;

 private:
  AFXCodedAppCollection() = default;
  std::shared_ptr<fnd::Set> applicationIDs_ = fnd::Set::make();
};

class AFXManagedAppCollection final : public afx_catalogue_detail::AppCollectionTwin<AFXManagedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // The identifiers of the linked apps.
  std::shared_ptr<fnd::Set> applicationIDs() const override;
  std::vector<std::shared_ptr<AFXManagedModelObject>> applications() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return AFXCodedAppCollection::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "AppCollection"; }

 private:
  friend class AFXManagedApp;
  AFXManagedAppCollection() = default;
  // Apps and collections link each other; the store owns both.
  std::vector<std::weak_ptr<AFXManagedModelObject>> applications_;
};

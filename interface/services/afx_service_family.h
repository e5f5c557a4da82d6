#pragma once

// A service family told once, as a table: one row per service operation
// names its request, response and (when it reports progress) report class
// with their coded fields, and how the service's outcome becomes the
// response. The classes, their coding, their whitelists and the server-side
// execution all follow from the table, so no message class is written out
// by hand and the two sides cannot disagree on a field.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/class.h"
#include "foundation/expected.h"
#include "foundation/uuid.h"
#include "foundation/value.h"
#include "interface/interprocess/afx_interprocess_request.h"
#include "tools/qv_class_reflection.h"
#include "tools/qv_value_transformer.h"

namespace afx_family {

using ClassGetter = const fnd::Class& (*)();

enum class Container { none, set, array };

// One coded field: its key, the classes its value (or each element of its
// container) may have, and the value decoded when the key is absent.
// Scalars (BOOL, integers, doubles) travel as NSNumber and are never nil.
struct Field {
  std::string key;
  std::vector<ClassGetter> classes;
  Container container = Container::none;
  bool scalar = false;
  fnd::Value defaultValue;
  std::shared_ptr<const QVValueTransformer> transformer;
  // What a scalar holds until something is stored: NO, 0 or 0.0.
  fnd::Value zero;
};

Field boolean(std::string key);
Field boolean(std::string key, bool whenAbsent);
Field signedInteger(std::string key);
Field unsignedInteger(std::string key);
Field unsignedInteger(std::string key, std::uint64_t whenAbsent);
Field real(std::string key);
// An NSNumber that may be nil (identifiers).
Field number(std::string key);
Field string(std::string key);
Field data(std::string key);
Field url(std::string key);
Field error(std::string key);
Field object(std::string key, std::vector<ClassGetter> classes);
Field setOf(std::string key, std::vector<ClassGetter> classes);
Field arrayOf(std::string key, std::vector<ClassGetter> classes);
// An unsigned code archived as its name through `transformer`.
Field namedCode(std::string key, std::shared_ptr<const QVValueTransformer> transformer);

struct Message {
  std::string className;
  std::vector<Field> fields;
  // Another response of the same family whose fields come first; the
  // family's base when empty.
  std::string superclassName = {};
};

// How the service's outcome becomes the response.
enum class Reply {
  // The operation calls back with a value-or-error; a value fills the
  // response's fields.
  valueOrError,
  // The operation calls back with plain results (a BOOL, two values).
  plain,
  // The operation has no callback: an empty response goes back at once.
  none,
};

struct Operation {
  // The service operation the request drives, as the protocol names it.
  std::string name;
  Message request;
  Message response;
  std::optional<Message> report;
  Reply reply = Reply::valueOrError;
};

// A row whose classes are named "AFX" + stem + "Request" / "Response".
Operation row(std::string name, const std::string& stem, std::vector<Field> requestFields,
              std::vector<Field> responseFields, Reply reply = Reply::valueOrError);

struct Table {
  std::string requestBase;
  std::string responseBase;
  std::string reportBase;
  // The identity class of the family's services.
  ClassGetter serviceIDClass;
  std::vector<Operation> operations;
};

}  // namespace afx_family

class AFXServiceFamily;
class AFXFamilyOperation;

// The defined form of one message class: its fields, inherited ones first.
struct AFXFamilyMessageType {
  const fnd::Class* cls = nullptr;
  std::vector<afx_family::Field> fields;
  const AFXFamilyOperation* operation = nullptr;
  // How many of the fields come from a superclass of the family.
  std::size_t inheritedFieldCount = 0;
  // Builds the class's property table (its parent's, then its own fields).
  QVClassReflection::MakeReflection makeReflection;

  // The field's position, or none when the class has no field of that key.
  std::optional<std::size_t> indexOfKey(std::string_view key) const;
  // The values a new message starts with: NO or 0 for scalars (or the
  // table's default), nil otherwise.
  std::vector<fnd::Value> initialValues() const;
};

// The field storage of a family message, read and written by key.
class AFXFamilyFields {
 public:
  AFXFamilyFields() = default;
  explicit AFXFamilyFields(const AFXFamilyMessageType& type) : type_(&type), values_(type.initialValues()) {}

  const AFXFamilyMessageType& type() const { return *type_; }
  // A key the class does not have is a programming error.
  const fnd::Value& value(std::string_view key) const;
  void setValue(std::string_view key, fnd::Value value);
  const std::vector<fnd::Value>& values() const { return values_; }
  fnd::Value& at(std::size_t index) { return values_.at(index); }
  const fnd::Value& at(std::size_t index) const { return values_.at(index); }

 private:
  const AFXFamilyMessageType* type_ = nullptr;
  std::vector<fnd::Value> values_;
};

class AFXFamilyResponse final : public AFXInterprocessResponse {
 public:
  static std::shared_ptr<AFXFamilyResponse> make(const AFXFamilyMessageType& type);
  const AFXFamilyFields& fields() const { return fields_; }
  AFXFamilyFields& fields() { return fields_; }
  const fnd::Value& value(std::string_view key) const { return fields_.value(key); }
  const fnd::Class& objectClass() const override { return *fields_.type().cls; }

 private:
  explicit AFXFamilyResponse(const AFXFamilyMessageType& type) : fields_(type) {}
  AFXFamilyFields fields_;
};

class AFXFamilyReport final : public AFXInterprocessReport {
 public:
  static std::shared_ptr<AFXFamilyReport> make(const AFXFamilyMessageType& type);
  const AFXFamilyFields& fields() const { return fields_; }
  AFXFamilyFields& fields() { return fields_; }
  const fnd::Value& value(std::string_view key) const { return fields_.value(key); }
  const fnd::Class& objectClass() const override { return *fields_.type().cls; }

 private:
  explicit AFXFamilyReport(const AFXFamilyMessageType& type) : fields_(type) {}
  AFXFamilyFields fields_;
};

// One call of a service operation on the server side: the request's fields
// as arguments in table order, the report stream the request came over, and
// the two ways back.
struct AFXFamilyCall {
  const AFXFamilyOperation* operation = nullptr;
  std::vector<fnd::Value> arguments;
  std::shared_ptr<AFXServiceID> serviceID;
  std::shared_ptr<fnd::UUID> reportStreamID;
  std::optional<std::string> requestingTierName;
  // Empty when the caller wants no progress; otherwise takes the report's
  // fields in table order.
  std::function<void(std::vector<fnd::Value> reportFields)> report;
  // Called once with the values of the fields the row lists for its
  // response (inherited ones stay unset), in table order, or the error;
  // missing trailing values leave their fields unset and extra ones are
  // ignored. Operations without callback get one that ignores its input.
  std::function<void(fnd::Expected<std::vector<fnd::Value>> responseFields)> finish;

  const fnd::Value& argument(std::string_view key) const;
};

// What the requests of a family run on, on the server side.
class AFXFamilyService : public AFXInterprocessService {
 public:
  virtual void performFamilyOperation(AFXFamilyCall call) = 0;
};

class AFXFamilyRequest final : public AFXInterprocessRequest {
 public:
  static std::shared_ptr<AFXFamilyRequest> make(const AFXFamilyMessageType& type);
  const AFXFamilyFields& fields() const { return fields_; }
  AFXFamilyFields& fields() { return fields_; }
  const fnd::Value& value(std::string_view key) const { return fields_.value(key); }
  void setValue(std::string_view key, fnd::Value value) { fields_.setValue(key, std::move(value)); }
  const AFXFamilyOperation& operation() const { return *fields_.type().operation; }

  const fnd::Class& objectClass() const override { return *fields_.type().cls; }
  const fnd::Class& responseClass() const override;
  const fnd::Class* reportClass() const override;
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  explicit AFXFamilyRequest(const AFXFamilyMessageType& type) : fields_(type) {}
  AFXFamilyFields fields_;
};

// One row, defined.
class AFXFamilyOperation {
 public:
  const std::string& name() const { return name_; }
  afx_family::Reply reply() const { return reply_; }
  const AFXFamilyMessageType& requestType() const { return *request_; }
  const AFXFamilyMessageType& responseType() const { return *response_; }
  const AFXFamilyMessageType* reportType() const { return report_; }
  const AFXServiceFamily& family() const { return *family_; }

 private:
  friend class AFXServiceFamily;
  std::string name_;
  afx_family::Reply reply_ = afx_family::Reply::valueOrError;
  const AFXFamilyMessageType* request_ = nullptr;
  const AFXFamilyMessageType* response_ = nullptr;
  const AFXFamilyMessageType* report_ = nullptr;
  const AFXServiceFamily* family_ = nullptr;
};

class AFXServiceFamily {
 public:
  // Defines every class of the table; a family is made once per process.
  explicit AFXServiceFamily(afx_family::Table table);
  AFXServiceFamily(const AFXServiceFamily&) = delete;
  AFXServiceFamily& operator=(const AFXServiceFamily&) = delete;

  const fnd::Class& requestBaseClass() const { return *requestBase_; }
  const fnd::Class& responseBaseClass() const { return *responseBase_; }
  const fnd::Class& reportBaseClass() const { return *reportBase_; }
  const fnd::Class& serviceIDClass() const { return serviceIDClass_(); }
  AFXInterprocessRequest::ClassSet requestClasses() const;
  const std::deque<AFXFamilyOperation>& operations() const { return operations_; }

  // The row of a service operation or of a request class; none when the
  // family has no such row.
  const AFXFamilyOperation* operationNamed(std::string_view name) const;
  const AFXFamilyOperation* operationForRequestClassNamed(std::string_view className) const;

  // A new request of the row, for a client to fill.
  std::shared_ptr<AFXFamilyRequest> makeRequest(std::string_view operationName) const;

 private:
  const AFXFamilyMessageType& defineMessage(const afx_family::Message& message, const fnd::Class& familyBase,
                                            int role);

  afx_family::ClassGetter serviceIDClass_;
  const fnd::Class* requestBase_ = nullptr;
  const fnd::Class* responseBase_ = nullptr;
  const fnd::Class* reportBase_ = nullptr;
  std::deque<AFXFamilyMessageType> types_;
  std::map<std::string, const AFXFamilyMessageType*, std::less<>> typesByName_;
  std::deque<AFXFamilyOperation> operations_;
};

#include "interface/services/afx_service_family.h"

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "interface/model/afx_model_support.h"
#include "tools/qv_class_reflection.h"
#include "tools/qv_value_or_error.h"

namespace afx_family {
namespace {

const fnd::Class& numberClass() { return fnd::Number::staticClass(); }
const fnd::Class& stringClass() { return fnd::String::staticClass(); }
const fnd::Class& dataClass() { return fnd::Data::staticClass(); }
const fnd::Class& urlClass() { return fnd::URL::staticClass(); }
const fnd::Class& errorClass() { return fnd::ErrorObject::staticClass(); }

Field scalarField(std::string key, fnd::Value whenAbsent, fnd::Value zero) {
  return {std::move(key), {&numberClass}, Container::none, true, std::move(whenAbsent), nullptr, std::move(zero)};
}

}  // namespace

Field boolean(std::string key) { return scalarField(std::move(key), fnd::Value(), fnd::Value(false)); }
Field boolean(std::string key, bool whenAbsent) {
  return scalarField(std::move(key), fnd::Value(whenAbsent), fnd::Value(false));
}
Field signedInteger(std::string key) { return scalarField(std::move(key), fnd::Value(), fnd::Value(std::int64_t{0})); }
Field unsignedInteger(std::string key) {
  return scalarField(std::move(key), fnd::Value(), fnd::Value(std::uint64_t{0}));
}
Field unsignedInteger(std::string key, std::uint64_t whenAbsent) {
  return scalarField(std::move(key), fnd::Value(whenAbsent), fnd::Value(std::uint64_t{0}));
}
Field real(std::string key) { return scalarField(std::move(key), fnd::Value(), fnd::Value(0.0)); }
Field number(std::string key) { return object(std::move(key), {&numberClass}); }
Field string(std::string key) { return object(std::move(key), {&stringClass}); }
Field data(std::string key) { return object(std::move(key), {&dataClass}); }
Field url(std::string key) { return object(std::move(key), {&urlClass}); }
Field error(std::string key) { return object(std::move(key), {&errorClass}); }
Field object(std::string key, std::vector<ClassGetter> classes) {
  return {std::move(key), std::move(classes), Container::none, false, fnd::Value(), nullptr, fnd::Value()};
}
Field setOf(std::string key, std::vector<ClassGetter> classes) {
  return {std::move(key), std::move(classes), Container::set, false, fnd::Value(), nullptr, fnd::Value()};
}
Field arrayOf(std::string key, std::vector<ClassGetter> classes) {
  return {std::move(key), std::move(classes), Container::array, false, fnd::Value(), nullptr, fnd::Value()};
}
Field namedCode(std::string key, std::shared_ptr<const QVValueTransformer> transformer) {
  Field field = scalarField(std::move(key), fnd::Value(), fnd::Value(std::uint64_t{0}));
  field.transformer = std::move(transformer);
  return field;
}

Operation row(std::string name, const std::string& stem, std::vector<Field> requestFields,
              std::vector<Field> responseFields, Reply reply) {
  return {std::move(name),
          {"AFX" + stem + "Request", std::move(requestFields)},
          {"AFX" + stem + "Response", std::move(responseFields)},
          std::nullopt,
          reply};
}

}  // namespace afx_family

namespace {

using afx_family::Container;
using afx_family::Field;

enum Role { kRequest = 0, kResponse = 1, kReport = 2 };

// What a field holds before anything is stored: the table's default, else
// NO / 0 for a scalar, so a message made here always carries its scalars.
fnd::Value initialValueOf(const Field& field) {
  if (!field.scalar) return fnd::Value();
  return field.defaultValue.isNil() ? field.zero : field.defaultValue;
}

AFXFamilyFields& fieldsOf(fnd::Object& object) {
  if (auto* request = dynamic_cast<AFXFamilyRequest*>(&object)) return request->fields();
  if (auto* response = dynamic_cast<AFXFamilyResponse*>(&object)) return response->fields();
  return dynamic_cast<AFXFamilyReport&>(object).fields();
}

const AFXFamilyFields& fieldsOf(const fnd::Object& object) { return fieldsOf(const_cast<fnd::Object&>(object)); }

fnd::Class::Property propertyAt(const Field& field, std::size_t index) {
  return {field.key, [index](const fnd::Object& object) { return fieldsOf(object).at(index); },
          [key = field.key](fnd::Object& object, const fnd::Value& value) { fieldsOf(object).setValue(key, value); },
          field.scalar};
}

std::vector<const fnd::Class*> classesOf(const Field& field) {
  std::vector<const fnd::Class*> classes;
  classes.reserve(field.classes.size());
  for (const auto getter : field.classes) classes.push_back(&getter());
  return classes;
}

void declare(QVClassReflection& reflection, const Field& field) {
  const auto classes = classesOf(field);
  switch (field.container) {
    case Container::none:
      reflection.addPropertyForSelector(field.key, classes, field.defaultValue, field.transformer);
      break;
    case Container::set:
      reflection.addPropertyForSelector(field.key, fnd::Set::staticClass(), classes, field.defaultValue,
                                        field.transformer);
      break;
    case Container::array:
      reflection.addPropertyForSelector(field.key, fnd::Array::staticClass(), classes, field.defaultValue,
                                        field.transformer);
      break;
  }
}

const fnd::Class& rootClassOf(int role) {
  switch (role) {
    case kRequest:
      return AFXInterprocessRequest::staticClass();
    case kResponse:
      return AFXInterprocessResponse::staticClass();
    default:
      return AFXInterprocessReport::staticClass();
  }
}

// The table maker of a family's root: the request base's own, or the
// model root's for responses and reports (they code nothing of their own).
QVClassReflection::MakeReflection rootMakerOf(int role) {
  if (role == kRequest) return &AFXInterprocessRequest::makeReflection;
  return &AFXBaseMutableModelObject::makeReflection;
}

// An abstract family base: no factory, no fields of its own.
const fnd::Class& defineBase(const std::string& name, const fnd::Class& root) {
  if (const auto* existing = fnd::Class::named(name)) return *existing;
  return fnd::Class::define(name, &root);
}

}  // namespace

std::optional<std::size_t> AFXFamilyMessageType::indexOfKey(std::string_view key) const {
  for (std::size_t index = 0; index < fields.size(); ++index) {
    if (fields[index].key == key) return index;
  }
  return std::nullopt;
}

std::vector<fnd::Value> AFXFamilyMessageType::initialValues() const {
  std::vector<fnd::Value> values;
  values.reserve(fields.size());
  for (const auto& field : fields) values.push_back(initialValueOf(field));
  return values;
}

const fnd::Value& AFXFamilyFields::value(std::string_view key) const {
  const auto index = type_->indexOfKey(key);
  FND_PARAMETER_ASSERT_TEXT(index.has_value(), "the message class has a field of that key");
  return values_[*index];
}

void AFXFamilyFields::setValue(std::string_view key, fnd::Value value) {
  const auto index = type_->indexOfKey(key);
  FND_PARAMETER_ASSERT_TEXT(index.has_value(), "the message class has a field of that key");
  values_[*index] = type_->fields[*index].scalar && value.isNil() ? initialValueOf(type_->fields[*index]) : std::move(value);
}

std::shared_ptr<AFXFamilyResponse> AFXFamilyResponse::make(const AFXFamilyMessageType& type) {
  return std::shared_ptr<AFXFamilyResponse>(new AFXFamilyResponse(type));
}

std::shared_ptr<AFXFamilyReport> AFXFamilyReport::make(const AFXFamilyMessageType& type) {
  return std::shared_ptr<AFXFamilyReport>(new AFXFamilyReport(type));
}

std::shared_ptr<AFXFamilyRequest> AFXFamilyRequest::make(const AFXFamilyMessageType& type) {
  return std::shared_ptr<AFXFamilyRequest>(new AFXFamilyRequest(type));
}

const fnd::Value& AFXFamilyCall::argument(std::string_view key) const {
  const auto index = operation->requestType().indexOfKey(key);
  FND_PARAMETER_ASSERT_TEXT(index.has_value(), "the request has a field of that key");
  return arguments.at(*index);
}

const fnd::Class& AFXFamilyRequest::responseClass() const { return *operation().responseType().cls; }

const fnd::Class* AFXFamilyRequest::reportClass() const {
  const auto* report = operation().reportType();
  return report ? report->cls : nullptr;
}

namespace {

// Stores the row's own fields after the inherited ones.
void fillOwnFields(AFXFamilyFields& fields, std::vector<fnd::Value> values) {
  const auto& type = fields.type();
  for (std::size_t index = 0; index < values.size() && type.inheritedFieldCount + index < type.fields.size(); ++index) {
    fields.setValue(type.fields[type.inheritedFieldCount + index].key, std::move(values[index]));
  }
}

std::shared_ptr<QVValueOrError> responseWithFields(const AFXFamilyMessageType& type, std::vector<fnd::Value> values) {
  auto response = AFXFamilyResponse::make(type);
  fillOwnFields(response->fields(), std::move(values));
  return QVValueOrError::initWithValue(fnd::Value(std::move(response)));
}

}  // namespace

void AFXFamilyRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                        ReportHandler reportHandler, ResponseHandler responseHandler) const {
  const AFXFamilyOperation& row = operation();
  if (!row.reportType()) requireNoReportHandler(reportHandler);
  auto familyService = std::dynamic_pointer_cast<AFXFamilyService>(service);
  FND_PARAMETER_ASSERT(familyService != nullptr);
  FND_PARAMETER_ASSERT(responseHandler != nullptr);

  AFXFamilyCall call;
  call.operation = &row;
  call.arguments = fields_.values();
  call.serviceID = serviceID();
  call.reportStreamID = reportStreamID();
  call.requestingTierName = requestingTierName();
  if (row.reportType() && reportHandler) {
    call.report = [type = row.reportType(), reportHandler](std::vector<fnd::Value> reportFields) {
      auto report = AFXFamilyReport::make(*type);
      fillOwnFields(report->fields(), std::move(reportFields));
      reportHandler(report);
    };
  }
  const AFXFamilyMessageType& responseType = row.responseType();
  if (row.reply() == afx_family::Reply::none) {
    call.finish = [](fnd::Expected<std::vector<fnd::Value>>) {};
    familyService->performFamilyOperation(std::move(call));
    responseHandler(responseWithFields(responseType, {}));
    return;
  }
  call.finish = [&responseType, responseHandler](fnd::Expected<std::vector<fnd::Value>> outcome) {
    if (!outcome) {
      responseHandler(QVValueOrError::initWithError(outcome.error()));
      return;
    }
    responseHandler(responseWithFields(responseType, std::move(outcome).value()));
  };
  familyService->performFamilyOperation(std::move(call));
}

AFXServiceFamily::AFXServiceFamily(afx_family::Table table) : serviceIDClass_(table.serviceIDClass) {
  FND_PARAMETER_ASSERT(serviceIDClass_ != nullptr);
  requestBase_ = &defineBase(table.requestBase, rootClassOf(kRequest));
  responseBase_ = &defineBase(table.responseBase, rootClassOf(kResponse));
  reportBase_ = &defineBase(table.reportBase, rootClassOf(kReport));
  for (auto& row : table.operations) {
    auto& operation = operations_.emplace_back();
    operation.name_ = row.name;
    operation.reply_ = row.reply;
    operation.family_ = this;
    operation.request_ = &defineMessage(row.request, *requestBase_, kRequest);
    operation.response_ = &defineMessage(row.response, *responseBase_, kResponse);
    if (row.report) operation.report_ = &defineMessage(*row.report, *reportBase_, kReport);
    const_cast<AFXFamilyMessageType*>(operation.request_)->operation = &operation;
    const_cast<AFXFamilyMessageType*>(operation.response_)->operation = &operation;
    if (operation.report_) const_cast<AFXFamilyMessageType*>(operation.report_)->operation = &operation;
  }
}

const AFXFamilyMessageType& AFXServiceFamily::defineMessage(const afx_family::Message& message,
                                                            const fnd::Class& familyBase, int role) {
  // Classes named by the fields are defined now: defining one while the
  // reflection registry builds a table is not allowed.
  for (const auto& field : message.fields) {
    for (const auto getter : field.classes) (void)getter();
  }
  const fnd::Class* superclass = &familyBase;
  std::vector<Field> fields;
  if (!message.superclassName.empty()) {
    const auto found = typesByName_.find(message.superclassName);
    FND_PARAMETER_ASSERT_TEXT(found != typesByName_.end(), "a derived message follows the one it derives from");
    superclass = found->second->cls;
    fields = found->second->fields;
  }
  const std::size_t inherited = fields.size();
  fields.insert(fields.end(), message.fields.begin(), message.fields.end());

  auto& type = types_.emplace_back();
  type.fields = fields;
  type.inheritedFieldCount = inherited;
  std::vector<fnd::Class::Property> properties;
  for (std::size_t index = inherited; index < fields.size(); ++index) properties.push_back(propertyAt(fields[index], index));

  const AFXFamilyMessageType* typePointer = &type;
  fnd::Class::Factory factory;
  switch (role) {
    case kRequest:
      factory = [typePointer] { return AFXFamilyRequest::make(*typePointer); };
      break;
    case kResponse:
      factory = [typePointer] { return AFXFamilyResponse::make(*typePointer); };
      break;
    default:
      factory = [typePointer] { return AFXFamilyReport::make(*typePointer); };
      break;
  }
  type.cls = &fnd::Class::define(message.className, superclass, std::move(factory), std::move(properties));
  std::vector<Field> own(message.fields.begin(), message.fields.end());
  // Makers run while the reflection registry builds a table, so they call
  // their parent's maker directly instead of asking the registry.
  auto parentMaker = superclass == &familyBase ? rootMakerOf(role) : typesByName_.at(message.superclassName)->makeReflection;
  type.makeReflection = [parentMaker = std::move(parentMaker), own = std::move(own)] {
    auto reflection = parentMaker();
    for (const auto& field : own) declare(*reflection, field);
    return reflection;
  };
  QVClassReflection::registerMakeReflection(*type.cls, type.makeReflection);
  typesByName_.emplace(message.className, &type);
  return type;
}

AFXInterprocessRequest::ClassSet AFXServiceFamily::requestClasses() const {
  AFXInterprocessRequest::ClassSet classes;
  classes.reserve(operations_.size());
  for (const auto& operation : operations_) classes.push_back(operation.requestType().cls);
  return classes;
}

const AFXFamilyOperation* AFXServiceFamily::operationNamed(std::string_view name) const {
  for (const auto& operation : operations_) {
    if (operation.name() == name) return &operation;
  }
  return nullptr;
}

const AFXFamilyOperation* AFXServiceFamily::operationForRequestClassNamed(std::string_view className) const {
  for (const auto& operation : operations_) {
    if (operation.requestType().cls->name() == className) return &operation;
  }
  return nullptr;
}

std::shared_ptr<AFXFamilyRequest> AFXServiceFamily::makeRequest(std::string_view operationName) const {
  const auto* operation = operationNamed(operationName);
  FND_PARAMETER_ASSERT_TEXT(operation != nullptr, "the family has an operation of that name");
  return AFXFamilyRequest::make(operation->requestType());
}

#include "foundation/ipc/archived_argument.h"

#include "foundation/keyed_archiver.h"

namespace fnd::ipc {

const Class& ArchivedArgument::staticClass() {
  // No factory: an archive naming this class never decodes into one.
  static const Class& cls = Class::define("KorviaIPCArchivedArgument", &Object::staticClass());
  return cls;
}

Expected<std::shared_ptr<ArchivedArgument>> ArchivedArgument::archive(const Value& value) {
  auto bytes = KeyedArchiver::archivedDataWithRootObject(value);
  if (!bytes) return bytes.error();
  return std::make_shared<ArchivedArgument>(ObjectToken<ArchivedArgument>{}, std::move(*bytes));
}

}  // namespace fnd::ipc

#include "tools/recovery/qv_error_presentation_keys.h"

#include "foundation/check.h"

const fnd::Class& QVErrorSuppressionCompletion::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVErrorSuppressionCompletion", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<QVErrorSuppressionCompletion> QVErrorSuppressionCompletion::make(Block block) {
  FND_PARAMETER_ASSERT(block);
  return std::shared_ptr<QVErrorSuppressionCompletion>(new QVErrorSuppressionCompletion(std::move(block)));
}

#include "interface/model/afx_resource_download_priority_holder.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "foundation/uuid.h"
#include "interface/model/afx_model_support.h"
#include "interface/model/afx_resource.h"
#include "tools/qv_queue_builder.h"

namespace {

constexpr std::string_view kSeparator = "--";

struct DefaultNotifier {
  std::mutex mutex;
  std::shared_ptr<AFXDistributedNotifier> notifier;
};

DefaultNotifier& defaultNotifierSlot() {
  static auto* slot = new DefaultNotifier;
  return *slot;
}

// A whole decimal number within the download levels, or nothing: the text
// comes from another process.
std::optional<AFXResourceDownloadPriority> parsePriority(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  AFXResourceDownloadPriority value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<AFXResourceDownloadPriority>(c - '0');
  }
  if (value > AFXResourceDownloadPriorityHigh) return std::nullopt;
  return value;
}

}  // namespace

std::shared_ptr<AFXDistributedNotifier> AFXDistributedNotifier::defaultNotifier() {
  auto& slot = defaultNotifierSlot();
  std::lock_guard lock(slot.mutex);
  return slot.notifier;
}

void AFXDistributedNotifier::setDefaultNotifier(std::shared_ptr<AFXDistributedNotifier> notifier) {
  auto& slot = defaultNotifierSlot();
  std::lock_guard lock(slot.mutex);
  slot.notifier = std::move(notifier);
}

const fnd::Class& AFXResourceDownloadPriorityHolder::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXResourceDownloadPriorityHolder", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXResourceDownloadPriorityHolder>(new AFXResourceDownloadPriorityHolder); },
      {afx_model_detail::memberProperty("priority", &AFXResourceDownloadPriorityHolder::priority_),
       {"identifier",
        [](const fnd::Object& o) {
          return fnd::Value(static_cast<const AFXResourceDownloadPriorityHolder&>(o).identifier_);
        },
        [](fnd::Object& o, const fnd::Value& v) {
          static_cast<AFXResourceDownloadPriorityHolder&>(o).identifier_ = v.stringValue().value_or("");
        }}},
      &AFXResourceDownloadPriorityHolder::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXResourceDownloadPriorityHolder::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("priority", fnd::Number::staticClass());
  reflection->addPropertyForSelector("identifier", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFXResourceDownloadPriorityHolder> AFXResourceDownloadPriorityHolder::make() {
  return initWithPriority(AFXResourceDownloadPriorityDefault, nullptr);
}

std::shared_ptr<AFXResourceDownloadPriorityHolder> AFXResourceDownloadPriorityHolder::initWithPriority(
    AFXResourceDownloadPriority priority, std::shared_ptr<fnd::URL> resourceURL) {
  FND_PARAMETER_ASSERT(priority <= AFXResourceDownloadPriorityHigh);
  auto holder = std::dynamic_pointer_cast<AFXResourceDownloadPriorityHolder>(staticClass().makeInstance());
  holder->priority_ = priority;
  holder->identifier_ =
      resourceURL ? AFXResourceIdentifierForURL(*resourceURL) : fnd::UUID::make()->UUIDString();
  holder->startObserving();
  return holder;
}

AFXResourceDownloadPriorityHolder::~AFXResourceDownloadPriorityHolder() {
  if (notifier_ && observation_) notifier_->removeObserver(*observation_);
}

bool AFXResourceDownloadPriorityHolder::initWithCoder(fnd::KeyedUnarchiver& coder) {
  if (!AFXBaseModelObject::initWithCoder(coder)) return false;
  if (identifier_.empty()) identifier_ = fnd::UUID::make()->UUIDString();
  // A priority outside the levels cannot come from a holder of ours.
  if (priority_ > AFXResourceDownloadPriorityHigh) priority_ = AFXResourceDownloadPriorityDefault;
  startObserving();
  return true;
}

void AFXResourceDownloadPriorityHolder::startObserving() {
  queue_ = QVQueueBuilder::internalQueueWithName("download-priority-changer");
  // The address tells this holder's broadcasts apart within the process; the
  // process identifier across processes, where addresses may repeat.
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  sender_ = std::string(address) + "@" + std::to_string(::getpid());
  notifier_ = AFXDistributedNotifier::defaultNotifier();
  if (!notifier_) return;
  std::weak_ptr<AFXResourceDownloadPriorityHolder> weakSelf =
      std::static_pointer_cast<AFXResourceDownloadPriorityHolder>(shared_from_this());
  observation_ = notifier_->addObserver(identifier_, [weakSelf](const fnd::Value& object) {
    if (auto self = weakSelf.lock()) self->receive(object);
  });
}

AFXResourceDownloadPriority AFXResourceDownloadPriorityHolder::priority() const {
  if (!queue_ || queue_->isCurrent()) return priority_;
  return queue_->sync([this] { return priority_; });
}

void AFXResourceDownloadPriorityHolder::setPriority(AFXResourceDownloadPriority priority, bool postChanges) {
  FND_PARAMETER_ASSERT(priority <= AFXResourceDownloadPriorityHigh);
  if (!queue_) {
    apply(priority, postChanges);
    return;
  }
  // The block keeps the holder until the change is made and told.
  auto self = std::static_pointer_cast<AFXResourceDownloadPriorityHolder>(shared_from_this());
  queue_->async([self, priority, postChanges] { self->apply(priority, postChanges); });
}

void AFXResourceDownloadPriorityHolder::addPriorityObserver(PriorityObserver observer) {
  if (!queue_ || queue_->isCurrent()) {
    observers_.push_back(std::move(observer));
    return;
  }
  queue_->sync([this, &observer] { observers_.push_back(std::move(observer)); });
}

void AFXResourceDownloadPriorityHolder::apply(AFXResourceDownloadPriority priority, bool postChanges) {
  if (priority == priority_) return;
  priority_ = priority;
  for (const auto& observer : observers_) observer(priority);
  if (postChanges && notifier_) notifier_->postNotification(identifier_, fnd::Value(broadcastTextForPriority(priority)));
}

std::string AFXResourceDownloadPriorityHolder::broadcastTextForPriority(AFXResourceDownloadPriority priority) const {
  return sender_ + std::string(kSeparator) + std::to_string(priority);
}

void AFXResourceDownloadPriorityHolder::receive(const fnd::Value& object) {
  const auto text = object.stringValue();
  if (!text) return;
  const auto separator = text->find(kSeparator);
  if (separator == std::string::npos) return;
  // Compared whole: another holder's address may begin with this one's.
  if (std::string_view(*text).substr(0, separator) == sender_) return;
  std::string_view rest = std::string_view(*text).substr(separator + kSeparator.size());
  rest = rest.substr(0, rest.find(kSeparator));
  if (const auto priority = parsePriority(rest)) setPriority(*priority, false);
}

std::string AFXResourceDownloadPriorityHolder::description() const {
  return fnd::StringWithFormat("%@ identifier = %@, priority = %@", AFXBaseModelObject::description(), identifier_,
                               priority());
}

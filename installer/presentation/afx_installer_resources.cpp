#include "installer/presentation/afx_installer_resources.h"

#include <QPainter>
#include <QSvgRenderer>
#include <map>

#include "foundation/format.h"
#include "interface/errors/afx_string_table.h"

namespace {

// SVG artwork is drawn at this size once; views resize it to their bounds.
constexpr int kImageSide = 256;

std::shared_ptr<fnd::Bundle>& overriddenBundle() {
  static auto* bundle = new std::shared_ptr<fnd::Bundle>;
  return *bundle;
}

const AFXStringTable& stringTable() {
  static std::map<std::string, AFXStringTable>* tables = new std::map<std::string, AFXStringTable>;
  const auto& bundle = AFXInstallerResourceBundle();
  const std::string key = bundle ? bundle->bundlePath() : "";
  auto found = tables->find(key);
  if (found == tables->end()) {
    AFXStringTable table;
    if (bundle) {
      if (const auto path = bundle->pathForResource("Localizable", "strings")) table = AFXStringTable::tableAtPath(*path);
    }
    found = tables->emplace(key, std::move(table)).first;
  }
  return found->second;
}

}  // namespace

std::shared_ptr<fnd::Bundle> AFXInstallerResourceBundle() {
  const auto& bundle = overriddenBundle();
  return bundle ? bundle : fnd::Bundle::mainBundle();
}

void AFXSetInstallerResourceBundle(std::shared_ptr<fnd::Bundle> bundle) { overriddenBundle() = std::move(bundle); }

std::string AFXInstallerLocalizedString(std::string_view key) {
  const auto& table = stringTable();
  return table.containsKey(key) ? table.localizedString(key) : std::string();
}

std::string AFXInstallerLocalizedFormat(std::string_view key, std::string_view argument) {
  return fnd::formatList(AFXInstallerLocalizedString(key), {std::string(argument)});
}

QString AFXQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QImage AFXInstallerImageNamed(std::string_view name) {
  const auto& bundle = AFXInstallerResourceBundle();
  if (!bundle) return {};
  for (const char* type : {"svg", "png"}) {
    const auto path = bundle->pathForResource(name, type, "Images");
    if (!path) continue;
    if (std::string_view(type) == "png") return QImage(QString::fromStdString(*path));
    QSvgRenderer renderer(QString::fromStdString(*path));
    if (!renderer.isValid()) return {};
    QImage image(kImageSide, kImageSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
  }
  return {};
}

#include "installer/controls/tests/controls_test_support.h"

#include <QDir>
#include <QFile>

// The leak checker's fontconfig suppression comes with qt_test_support.

namespace controls_test {

std::shared_ptr<fnd::Bundle> installerResourcesBundle() {
  // The folder goes with the program: the link in it points at the sources.
  static QTemporaryDir* folder = [] {
    auto* made = new QTemporaryDir;
    QFile::link(QStringLiteral(KORVIA_INSTALLER_RESOURCES), made->filePath("Resources"));
    return made;
  }();
  return fnd::Bundle::bundleWithPath(folder->path().toStdString());
}

ResourceBundle::ResourceBundle(const std::map<std::string, std::string>& files) {
  QDir(folder_.path()).mkpath("Resources");
  for (const auto& [name, content] : files) {
    QFile file(folder_.filePath("Resources/" + QString::fromStdString(name)));
    if (file.open(QIODevice::WriteOnly)) file.write(content.data(), static_cast<qint64>(content.size()));
  }
  bundle_ = fnd::Bundle::bundleWithPath(folder_.path().toStdString());
}

}  // namespace controls_test

// Chronofold, the featured vendor app the reference client installs: one
// window that says what it is.

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QLabel window(QStringLiteral("Chronofold"));
  window.setWindowTitle(QStringLiteral("Chronofold"));
  window.setAlignment(Qt::AlignCenter);
  window.resize(480, 320);
  window.show();
  return application.exec();
}

#include "console/qt/remembered_ports.h"

#include <QSettings>
#include <QStandardPaths>
#include <atomic>

namespace tavik::console {
namespace {

std::atomic<bool> g_keep{true};

QString settings_file() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tavik/console.conf";
}

QString setting(const std::string& key) { return "ports/" + QString::fromStdString(key); }

}  // namespace

void keep_remembered_ports(bool keep) { g_keep = keep; }

std::string remembered_port(const std::string& key) {
  if (!g_keep) return {};
  const QSettings settings(settings_file(), QSettings::IniFormat);
  return settings.value(setting(key)).toString().toStdString();
}

void remember_port(const std::string& key, const std::string& name) {
  if (!g_keep) return;
  QSettings settings(settings_file(), QSettings::IniFormat);
  settings.setValue(setting(key), QString::fromStdString(name));
}

}  // namespace tavik::console

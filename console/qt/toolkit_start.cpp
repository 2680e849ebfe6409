#include "console/qt/toolkit_start.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace tavik::console {
namespace {

struct Held {
  std::string category;  // empty for the default one
  std::string text;
};
std::mutex held_mutex;
bool holding = false;                 // guarded by held_mutex
std::vector<Held> held;               // guarded by held_mutex
std::function<void()> held_clean_up;  // guarded by held_mutex

std::string first_line(const std::string& text) {
  return QString::fromStdString(text).section(QLatin1Char('\n'), 0, 0).trimmed().toStdString();
}

void hold_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  std::unique_lock lock(held_mutex);
  if (type != QtFatalMsg) {
    const bool named = context.category && std::string(context.category) != "default";
    held.push_back({named ? context.category : "", text.toStdString()});
    return;
  }
  // The toolkit's warnings before its fatal message say what it could not
  // do ("could not connect to display"); the fatal one only that it gives up.
  const std::string why = first_line(held.empty() ? text.toStdString() : held.front().text);
  const bool no_display =
      !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM");
  std::fprintf(stderr, "tavik-v1-basic: cannot open a window: %s%s\n", why.c_str(),
               no_display ? " (neither DISPLAY nor WAYLAND_DISPLAY is set)" : "");
  if (held_clean_up) held_clean_up();
  std::fflush(stdout);
  std::_Exit(1);
}

}  // namespace

ToolkitStart::ToolkitStart(std::function<void()> clean_up) {
  std::lock_guard lock(held_mutex);
  holding = true;
  held_clean_up = std::move(clean_up);
  qInstallMessageHandler(hold_message);
}

void ToolkitStart::started() {
  std::vector<Held> messages;
  {
    std::lock_guard lock(held_mutex);
    if (!holding) return;
    holding = false;
    qInstallMessageHandler(nullptr);
    held_clean_up = nullptr;
    messages.swap(held);
  }
  for (const Held& message : messages) {
    std::fprintf(stderr, "%s%s%s\n", message.category.c_str(), message.category.empty() ? "" : ": ",
                 message.text.c_str());
  }
}

}  // namespace tavik::console

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "view/app_context.h"
#include "app/main_window.h"
#include "app/qt_message_sink.h"
#include "serial/link.h"

int main(int argc, char** argv) {
  // Without any display Qt would abort inside its platform plugin; say what to do instead.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::fprintf(stderr,
                 "tamsu-tools: no display found. Start it in a desktop session, or under a virtual X "
                 "server: xvfb-run -a tamsu-tools\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(tamsu::kAppTitle));
  QApplication::setWindowIcon(tamsu::AppIcon());

  std::unique_ptr<tamsu::Link> link;
  try {
    link = std::make_unique<tamsu::Link>();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tamsu-tools: cannot start the receive thread: %s\n", e.what());
    return 1;
  }
  tamsu::QtMessageSink messages;
  // Every exchange runs on the line's own thread; it ends before the link does.
  tamsu::LineThread line(messages);
  tamsu::AppContext context{*link, messages, line};
  tamsu::MainWindow window(context);
  messages.SetParent(&window);
  window.show();
  return app.exec();
}

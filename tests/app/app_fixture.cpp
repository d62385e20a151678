#include "app_fixture.h"

#include <QSettings>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "app/application.h"
#include "node/node_basenodedef.h"

// Qt and the system libraries below it keep a few allocations until exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6\nleak:libdbus\nleak:libglib\nleak:libEGL\n"
           "leak:libGLX\nleak:libgallium\nleak:swrast_dri\nleak:libX11\nleak:libxcb\n";
}

// The Mesa software rasteriser behind Export Picture, and the thread pool Qt's
// raster engine uses to paint the progress dialog's busy bar, synchronise their
// threads in ways ThreadSanitizer cannot see (neither library is instrumented).
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:swrast_dri.so\nrace:swrast_dri.so\n"
           "race:QThreadPoolPrivate\nrace:QRunnable::create\nrace:QWaitCondition\n"
           "called_from_lib:libQt6Gui.so\n";
}

namespace {

QApplication* g_app = nullptr;
QTemporaryDir g_settings;
bool g_decimalComma = false;
int g_argc = 1;
char g_arg0[] = "app_tests";
char* g_argv[] = {g_arg0, nullptr};

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        InitNDTTables();
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The user's locale, as a German user has it, when the system has it.
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
            setenv("LC_ALL", "de_DE.UTF-8", 1);
            g_decimalComma = std::strcmp(std::localeconv()->decimal_point, ",") == 0;
        }
        std::setlocale(LC_ALL, "C");
        PrepareApplication();
        // Recent files and other settings go to a folder of the test's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, g_settings.path());
        g_app = new QApplication(g_argc, g_argv);  // adopts the locale of the environment
        ConfigureApplication();
    }
    void TearDown() override {
        SetMessageSink(nullptr);
        delete g_app;
        g_app = nullptr;
    }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool UnderDecimalCommaLocale() {
    return g_decimalComma;
}
QApplication& TestApp() {
    return *g_app;
}

// The queue targets run Qt's offscreen platform, which keeps its screen to the
// end of the process; without these the leak check at exit fails every run.
// (The same list as scripts/lsan.supp, built in so that no environment is needed.)
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n";
}

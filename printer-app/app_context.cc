#include "printer-app/app_context.h"

#include <sys/stat.h>

namespace pclspool::app {

std::string SettingsFileToRead(const AppContext& app) {
  struct stat st {};
  const bool exists = ::stat(app.settings_file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  return exists ? app.settings_file : "/dev/null";
}

}  // namespace pclspool::app

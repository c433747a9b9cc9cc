// The app's own web pages. The page of the settings file: the watermark
// texts the printers offer, each with its face, height, angle, weight,
// darkness and place and a picture of a page with it (made as the printer
// prints it), and the forms that add, change and delete one. The Security
// page, in place of PAPPL's: the administrator's password changed (or,
// with PAM, who administers). Both are the administrator's
// (access_policy.h); the top bar links them.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

struct AppContext;

// Adds /watermarks and its pictures, /security, and the top bar's links.
void AddSettingsPages(pappl_system_t* system, AppContext& app);

}  // namespace pclspool::app

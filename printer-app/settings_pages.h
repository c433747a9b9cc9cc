// The web page of the settings file: the watermark texts the printers
// offer, each with its face, height, angle, weight, darkness and place and
// a picture of a page with it (made as the printer prints it), and the
// forms that add, change and delete one.
//
// PAPPL lets anyone in while the administrator has set neither a password
// (its Security page) nor a PAM service (-o auth-service=); until one is
// set, the page shows the texts but refuses every change. Once one is,
// the page and its pictures need it.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

struct AppContext;

// Adds /watermarks and its pictures, and a link to them.
void AddSettingsPages(pappl_system_t* system, AppContext& app);

}  // namespace pclspool::app

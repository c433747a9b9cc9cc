// A printer's Copier page, linked from its status: what its copier says now
// in words, the reasons clients see, its supplies and paper trays, and when
// and how it last answered. It refreshes itself every 10 seconds.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

// For a printer as it is created; PAPPL removes the page with the printer.
void AddCopierPage(pappl_printer_t* printer);

}  // namespace pclspool::app

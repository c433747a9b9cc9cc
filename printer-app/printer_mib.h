// The copier's state as the Host Resources MIB (RFC 2790) and the Printer
// MIB (RFC 3805) give it over SNMP: hrPrinterDetectedErrorState, the
// marker supplies table (toner, drums, waste toner) and the input table
// (paper trays). The poller walks the columns listed here and hands every
// value it got to CopierStatusOfMib.
#pragma once

#include <vector>

#include "printer-app/copier_status.h"
#include "printer-app/snmp_message.h"

namespace pclspool::app {

// The table columns to walk, each a prefix of its rows.
const std::vector<Oid>& PrinterMibColumns();

// What the values say. The first printer among the Host Resources devices
// is the copier; its rows of the Printer MIB's tables are read.
CopierStatus CopierStatusOfMib(const std::vector<VarBind>& values);

}  // namespace pclspool::app

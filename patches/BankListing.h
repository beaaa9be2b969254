#pragma once

#include <ostream>

#include "patches/BankFile.h"

namespace patches {

// Lists a decoded bank file: its version and count, then for each record its
// slot, sound path and values by parameter name.
void printBankListing(const DecodedBankFile& file, std::ostream& out);

}  // namespace patches

// frisson bank FILE.fpb: lists a patch bank file.
#include <iostream>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "patches/BankFile.h"
#include "patches/BankListing.h"

namespace app {

namespace {

constexpr const char* kBankUsage =
    "usage: frisson bank FILE.fpb\n"
    "Lists a patch bank file: its version and patch count, then each patch's slot,\n"
    "sound path and parameter values by name. The file is only read.\n";

}  // namespace

int runBank(Args args) {
    const auto given = parseSinglePath(args, kBankUsage, "bank", "FILE.fpb");
    if (!given)
        return kExitOk;
    const std::string& path = *given;

    const auto bytes = patches::readFileBytes(path);
    if (!bytes) {
        std::cerr << "frisson bank: " << path << ": cannot be read\n";
        return kExitFailure;
    }
    const patches::DecodedBankFile file = patches::decodeBankFile(*bytes);
    if (file.problem != patches::BankFileProblem::None) {
        std::cerr << "frisson bank: " << patches::bankFileProblemText(path, file) << "\n";
        return kExitFailure;
    }
    patches::printBankListing(file, std::cout);
    std::cout.flush();
    return kExitOk;
}

}  // namespace app

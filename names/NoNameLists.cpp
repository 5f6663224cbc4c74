#include "names/NameListCommand.h"

#include "services/Runtime.h"

namespace deptest::names {

// Where the name list cannot be read from programs: the window takes no
// dropped files, the command line says so.

bool canReadNameLists() { return false; }

void offerNameList(Runtime& /*runtime*/, const std::vector<std::string>& /*files*/) { }

int runNameListCommand(Runtime& runtime, const NameListRequest& /*request*/, OutputFile& /*standardOutput*/)
{
    runtime.showMessage("deptest: the name list cannot be made on this system");
    return 2;
}

} // namespace deptest::names

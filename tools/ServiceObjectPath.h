// Where the quvo command finds the service object library it registers or loads.
#pragma once

#include <string>

namespace QVO::Tools {

// The library next to this program: the one built with it when this is the build tree's quvo,
// else the installed one (under the multiarch library folder). Never guessed from what exists.
std::string DefaultServiceObjectLibrary();

}  // namespace QVO::Tools

// The program directory: where data.mdb, temp/ and the editor page live.
// The executable's own folder by default; tests point it elsewhere.
#pragma once

#include <string>

namespace inkpost {

const std::string& programDir();
void setProgramDir(std::string dir);

// programDir() + "/" + relative
std::string programPath(const std::string& relative);

}  // namespace inkpost

#pragma once
// Undoing a whole run from its journal.

#include <ostream>
#include <string>

namespace quorvel::batch {

// Puts back every drawing the run saved, each from its own backup in the run's folder, and the
// .bak beside it as it was before the run; checks the result. Only the file the run's save made
// is replaced: a drawing that is now a link, another file or another user's is refused, and one
// changed since the run is left alone unless `force`. A dry run says what it would do and
// changes nothing. Returns the number of drawings that could not be put back (-1: no such run);
// writes one line per drawing to `out`.
int undoRun(const std::string& id, bool force, bool dryRun, std::ostream& out);

}  // namespace quorvel::batch

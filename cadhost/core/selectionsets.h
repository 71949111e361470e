#pragma once
// A document's named selection sets as automation clients use them: add by name, find again,
// and Select by mode with an optional filter of group codes and values.

#include "cadhost/core/hostmodel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::cadhost::core {

// A new empty set; raises InvalidArgument for an empty name and DuplicateName for a name the
// document has already (letter case ignored).
SelectionSet& addSelectionSet(Document& document, const std::string& name);
// Raises ObjectClosed when the set no longer exists.
SelectionSet& selectionSet(Document& document, int number);

// Raises InvalidArgument: a filter value that is neither text nor number.
[[noreturn]] void refuseFilterValue();

// Adds what the mode chooses and the filter lets through to the set, each object once:
// 5 = every object, 3 = the last object. Raises InvalidArgument for another mode or a filter
// whose types and values differ in number.
void selectInto(Document& document, SelectionSet& set, int mode,
                const std::vector<std::int16_t>& filterTypes,
                const std::vector<std::string>& filterValues);

}  // namespace quorvel::cadhost::core

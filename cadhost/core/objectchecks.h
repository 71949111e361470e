#pragma once
// Checks every automation object of a host makes before it acts, whatever carries the call.

#include "cadhost/core/hostmodel.h"

#include <cstddef>
#include <cstdint>

namespace quorvel::cadhost::core {

// The index as a position; raises InvalidArgument unless 0 <= index < count.
std::size_t checkedIndex(std::int64_t index, std::size_t count);
// Raises ObjectClosed when the document's content was replaced since the entity was handed out
// (at content load `load`), ObjectErased when the entity is gone.
void checkEntity(const Document& document, int load, dxf::EntityId entity);

}  // namespace quorvel::cadhost::core

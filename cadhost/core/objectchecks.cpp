#include "cadhost/core/objectchecks.h"

#include "cadhost/core/hosterror.h"

#include <string>

namespace quorvel::cadhost::core {

std::size_t checkedIndex(std::int64_t index, std::size_t count) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= count) {
        throw HostError(
            HostErrorKind::InvalidArgument,
            "索引 " + std::to_string(index) + " 超出范围（共 " + std::to_string(count) + " 项）。");
    }
    return static_cast<std::size_t>(index);
}

void checkEntity(const Document& document, int load, dxf::EntityId entity) {
    if (document.load != load) {
        throw HostError(HostErrorKind::ObjectClosed, "该对象所属的图形内容已被替换。");
    }
    if (!document.drawing.exists(entity)) {
        throw HostError(HostErrorKind::ObjectErased, "该对象已被删除。");
    }
}

}  // namespace quorvel::cadhost::core

#include "cadhost/core/selectionsets.h"

#include "cadhost/core/hosterror.h"
#include "dxf/wildcard.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace quorvel::cadhost::core {
namespace {

// Each wildcard character quoted, so that the name matches only itself (letter case ignored).
bool sameName(std::string_view first, std::string_view second) {
    std::string literal;
    for (const char c : second) {
        if (std::string_view("*?#@.`[]~,-").find(c) != std::string_view::npos) {
            literal += '`';
        }
        literal += c;
    }
    return dxf::wildcardMatch(first, literal);
}

bool isBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

}  // namespace

SelectionSet& addSelectionSet(Document& document, const std::string& name) {
    if (isBlank(name)) {
        throw HostError(HostErrorKind::InvalidArgument, "选择集名称不能为空。");
    }
    for (const SelectionSet& set : document.selectionSets) {
        if (sameName(set.name, name)) {
            throw HostError(HostErrorKind::DuplicateName, "选择集“" + name + "”已存在。");
        }
    }
    SelectionSet set;
    set.number = document.nextSelectionSet++;
    set.name = name;
    document.selectionSets.push_back(std::move(set));
    return document.selectionSets.back();
}

SelectionSet& selectionSet(Document& document, int number) {
    for (SelectionSet& candidate : document.selectionSets) {
        if (candidate.number == number) {
            return candidate;
        }
    }
    throw HostError(HostErrorKind::ObjectClosed, "该选择集已不存在。");
}

void refuseFilterValue() {
    throw HostError(HostErrorKind::InvalidArgument, "过滤值只能是文字或数字。");
}

void selectInto(Document& document, SelectionSet& set, int mode,
                const std::vector<std::int16_t>& filterTypes,
                const std::vector<std::string>& filterValues) {
    if (filterTypes.size() != filterValues.size()) {
        throw HostError(HostErrorKind::InvalidArgument,
                        "过滤类型有 " + std::to_string(filterTypes.size()) + " 项，过滤值有 " +
                            std::to_string(filterValues.size()) + " 项，两者应一样多。");
    }
    const dxf::Drawing& drawing = document.drawing;
    std::vector<dxf::EntityId> chosen;
    if (mode == 5) {
        chosen = drawing.select(filterTypes, filterValues);
    } else if (mode == 3) {
        if (const auto last = drawing.lastObject()) {
            const auto passing = drawing.select(filterTypes, filterValues);
            if (std::find(passing.begin(), passing.end(), *last) != passing.end()) {
                chosen.push_back(*last);
            }
        }
    } else {
        throw HostError(HostErrorKind::InvalidArgument, "不支持选择模式 " + std::to_string(mode) +
                                                            "（支持 5 = 全部，3 = 最后一个）。");
    }
    std::unordered_set<dxf::EntityId> present(set.entities.begin(), set.entities.end());
    for (const auto id : chosen) {
        if (present.insert(id).second) {
            set.entities.push_back(id);
        }
    }
}

}  // namespace quorvel::cadhost::core

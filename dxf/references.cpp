// References between records: who points at a handle, and taking those pointers out when the
// entity they name is erased.
#include "dxf/drawingimpl.h"
#include "dxf/groupcodes.h"

namespace quorvel::dxf {

void Drawing::Impl::indexRecordReferences(std::uint32_t index) {
    const Record& record = records[index];
    const bool entity = record.kind == RecordKind::Entity || record.kind == RecordKind::Follower;
    TagCursor cursor(bytesOf(index));
    RawTag tag;
    bool ownerSkipped = !entity;
    int groupDepth = 0;
    while (cursor.next(tag)) {
        if (tag.code == code::kApplicationGroup) {
            const std::string_view value = trimmed(tag.value);
            if (!value.empty() && value.front() == '{')
                ++groupDepth;
            if (value == "}" && groupDepth > 0)
                --groupDepth;
            continue;
        }
        if (!isPointerCode(tag.code))
            continue;
        if (!ownerSkipped && tag.code == code::kOwner && groupDepth == 0) {
            ownerSkipped = true;  // entities' owners are block records, never erased here
            continue;
        }
        if (const auto target = parseHandle(tag.value)) {
            auto& list = referrers[*target];
            if (list.empty() || list.back() != index)
                list.push_back(index);
        }
    }
}

void Drawing::Impl::indexReferences() {
    if (referencesIndexed)
        return;
    for (std::uint32_t i = head; i != kNone; i = records[i].next) {
        const Record& record = records[i];
        if (record.kind == RecordKind::Eof || record.kind == RecordKind::Prefix ||
            i == headerRecord) {
            continue;
        }
        indexRecordReferences(i);
    }
    referencesIndexed = true;
}

void Drawing::Impl::eraseRecords(const std::vector<std::uint32_t>& group) {
    // A worklist rather than recursion: ownership chains in a file can be long.
    std::vector<std::uint64_t> pending;
    for (const std::uint32_t index : group) {
        if (records[index].flags & kErased)
            continue;
        unlink(index);
        if (records[index].flags & kHasHandle)
            pending.push_back(records[index].handle);
    }
    while (!pending.empty()) {
        const std::uint64_t handle = pending.back();
        pending.pop_back();
        removeReferencesTo(handle, pending);
    }
}

namespace {

using Tags = std::vector<RecordEditor::Tag>;

bool pointsAt(const RecordEditor::Tag& tag, std::uint64_t handle) {
    const auto target = parseHandle(tag.value);
    return isPointerCode(tag.code) && target && *target == handle;
}

// Whether the owner, the first 330 outside the 102 groups, is `handle`.
bool ownedBy(const Tags& tags, std::uint64_t handle) {
    int depth = 0;
    for (const auto& tag : tags) {
        if (tag.code == code::kApplicationGroup) {
            const std::string_view value = trimmed(tag.value);
            if (!value.empty() && value.front() == '{')
                ++depth;
            if (value == "}" && depth > 0)
                --depth;
        } else if (tag.code == code::kOwner && depth == 0) {
            return pointsAt(tag, handle);
        }
    }
    return false;
}

// A hatch boundary path counts its source objects (97) before listing them; the count must
// follow when the one at `index` goes.
void lowerSourceObjectCount(Tags& tags, std::size_t index) {
    for (std::size_t back = index; back-- > 0;) {
        if (tags[back].code == code::kBoundaryPathType || tags[back].code == code::kType)
            return;
        if (tags[back].code == code::kSourceObjectCount) {
            const auto count = parseNumber(tags[back].value);
            if (count && *count >= 1)
                tags[back].value = std::to_string(static_cast<long>(*count) - 1);
            return;
        }
    }
}

// Erases the pointer at `index` with what belongs to it. Returns where to look next.
std::size_t erasePointer(RecordEditor& editor, std::size_t index, int depth) {
    Tags& tags = editor.tags();
    const auto& tag = tags[index];
    if (depth == 0 && index > 0 && tags[index - 1].code == code::kEntryName &&
        (tag.code == code::kSoftOwnedEntry || tag.code == code::kHardOwnedEntry)) {
        editor.erase(index - 1, 2);  // a dictionary entry: name and pointer
        return index - 1;
    }
    if (tag.code == code::kSortedEntity && index + 1 < tags.size() &&
        tags[index + 1].code == code::kHandle) {
        editor.erase(index, 2);  // a draw-order entry: entity and sort handle
        return index;
    }
    if (tag.code == code::kOwner && depth == 0)
        lowerSourceObjectCount(tags, index);
    editor.erase(index);
    return index;
}

// Takes the pointers to `handle` out of one record, and the 102 groups they leave empty.
// The owner pointer stays unless `ownerPassed`. Returns whether anything changed.
bool removePointers(RecordEditor& editor, std::uint64_t handle, bool ownerPassed) {
    Tags& tags = editor.tags();
    bool changed = false;
    int depth = 0;
    std::size_t groupStart = RecordEditor::npos;
    for (std::size_t i = 0; i < tags.size();) {
        const auto& tag = tags[i];
        if (tag.code == code::kApplicationGroup) {
            const std::string_view value = trimmed(tag.value);
            if (!value.empty() && value.front() == '{') {
                ++depth;
                groupStart = i;
            } else if (value == "}" && depth > 0) {
                --depth;
                if (groupStart != RecordEditor::npos && i == groupStart + 1) {
                    tags.erase(tags.begin() + static_cast<std::ptrdiff_t>(groupStart),
                               tags.begin() + static_cast<std::ptrdiff_t>(i + 1));
                    i = groupStart;
                    groupStart = RecordEditor::npos;
                    changed = true;
                    continue;
                }
                groupStart = RecordEditor::npos;
            }
            ++i;
        } else if (!ownerPassed && tag.code == code::kOwner && depth == 0) {
            ownerPassed = true;
            ++i;
        } else if (!pointsAt(tag, handle)) {
            ++i;
        } else {
            changed = true;
            i = erasePointer(editor, i, depth);
        }
    }
    return changed;
}

}  // namespace

// Takes every pointer to `handle` out of the records that hold one. An object owned by the
// erased one (its extension dictionary, say) goes with it.
void Drawing::Impl::removeReferencesTo(std::uint64_t handle, std::vector<std::uint64_t>& pending) {
    const auto found = referrers.find(handle);
    if (found == referrers.end())
        return;
    const std::vector<std::uint32_t> holders = std::move(found->second);
    referrers.erase(found);
    for (const std::uint32_t index : holders) {
        if (records[index].flags & kErased)
            continue;
        RecordEditor editor(bytesOf(index));
        // Only objects go with an erased owner and lose their owner pointer. Entities, blocks
        // and table entries keep theirs: in a damaged drawing whose handles repeat, the erased
        // entity may share its handle with a block record.
        const bool keepsOwner = records[index].kind != RecordKind::Object;
        if (!keepsOwner && ownedBy(editor.tags(), handle)) {
            unlink(index);
            if (records[index].flags & kHasHandle)
                pending.push_back(records[index].handle);
            continue;
        }
        if (removePointers(editor, handle, !keepsOwner))
            setBytes(index, editor.serialize());
    }
}

}  // namespace quorvel::dxf

#pragma once
// The group codes the engine reads or writes for what they mean (geometry codes of the viewer
// stay numbers beside the entity type they belong to).

namespace quorvel::dxf::code {

inline constexpr int kType = 0;       // starts a record: entity type, SECTION, ENDSEC, EOF
inline constexpr int kText = 1;       // a text's string; the value of $ACADVER
inline constexpr int kName = 2;       // a section's, block's or table entry's name
inline constexpr int kEntryName = 3;  // a dictionary entry's name; the value of $DWGCODEPAGE
inline constexpr int kHandle = 5;     // the record's own handle; the value of $HANDSEED
inline constexpr int kLayer = 8;
inline constexpr int kHeaderVariable = 9;
inline constexpr int kX = 10;  // with kX + 10 (y) and kX + 20 (z) for the first point
inline constexpr int kY = 20;
inline constexpr int kZ = 30;
inline constexpr int kPaperSpace = 67;         // 1: in paper space
inline constexpr int kBoundaryPathType = 92;   // starts a hatch boundary path
inline constexpr int kSourceObjectCount = 97;  // how many source objects a boundary path lists
inline constexpr int kApplicationGroup = 102;  // "{ACAD_REACTORS" ... "}" and the like
inline constexpr int kDimStyleHandle = 105;    // DIMSTYLE's handle instead of kHandle
inline constexpr int kOwner = 330;             // the first one outside application groups
inline constexpr int kSortedEntity = 331;      // draw order: entity, then its sort handle
inline constexpr int kSoftOwnedEntry = 350;    // a dictionary entry's object
inline constexpr int kHardOwnedEntry = 360;

}  // namespace quorvel::dxf::code

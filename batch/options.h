#pragma once
// The command line of quorvel-batch and the find/replace pairs it takes.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::batch {

// A command line the program cannot run; the message is for the user (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Pair {
    std::u16string find;
    std::u16string replace;
};

enum KindFlag : unsigned {
    kKindText = 1,       // single-line text of the layouts
    kKindMText = 2,      // multi-line text of the layouts
    kKindAttrib = 4,     // attribute values of block references and definitions
    kKindDimension = 8,  // override texts of dimensions of the layouts
    kKindBlockDef = 16,  // single-line, multi-line and dimension text inside block definitions
    kKindTable = 32,     // the text cells of tables
    kKindMLeader = 64,   // the multi-line text of multileaders
    kKindAll = 127,
};

// The options that change what a drawing's edit does reach worker processes and the journal
// (for --retry) only through editingArguments() and takeEditingOptions(): a new one must be
// added to both.
struct Options {
    bool help = false;
    std::vector<std::string> paths;
    std::vector<Pair> pairs;
    bool exact = false;
    bool raw = false;  // match the text as stored, codes included, not what a reader sees
    // How finds match (batch/matching.h).
    bool ignoreCase = false;
    bool wholeWord = false;
    bool wildcards = false;
    bool widthInsensitive = false;
    bool recursive = false;
    bool dryRun = false;
    bool force = false;
    std::optional<std::string> layer;  // UTF-8 wildcard pattern
    std::optional<double> height;
    std::optional<std::string> justify;
    unsigned kinds = kKindText;
    std::string reportFile;
    unsigned jobs = 1;
    std::string undoRun;
    std::string retryRun;
    unsigned timeoutSeconds = 300;  // per drawing, in a worker process
    std::string host = "inprocess";
    std::string progId;  // --host com: the host's ProgID, empty for the usual one
    // Folders of SHX and TrueType files (--fonts, repeatable), to check that new characters show.
    std::vector<std::string> fontFolders;
};

// Raises UsageError for anything it cannot take.
Options parseArguments(const std::vector<std::string>& arguments);

// The options of a run that change what its edits do, as arguments that
// parseEditingArguments() reads back: no pairs, paths or options of the run itself.
std::vector<std::string> editingArguments(const Options& options);
// Options from what editingArguments() wrote, and nothing else; raises UsageError.
Options parseEditingArguments(const std::vector<std::string>& arguments);
// The options editingArguments() writes, copied from `from`.
void takeEditingOptions(Options& options, const Options& from);

// A pairs file: "find<TAB>replace" or two CSV fields per line, UTF-8 (with or without BOM) or
// GBK; empty lines are skipped.
std::vector<Pair> parsePairs(const std::string& bytes);

// Pairs i < j where the replacement of i contains the find text of j: the later pair would
// change what the earlier one put in. One message per such couple.
std::vector<std::string> chainedPairs(const std::vector<Pair>& pairs);

const char* helpText();

}  // namespace quorvel::batch

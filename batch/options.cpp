#include "batch/options.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <thread>

#include "batch/files.h"
#include "batch/system.h"
#include "dxf/drawing.h"
#include "engine/textutil.h"
#include "textcodec/codepage936.h"
#include "textcodec/utf.h"

namespace quorvel::batch {

namespace {

// Two fields of one CSV line: quoted fields may hold commas and doubled quotes.
std::vector<std::u16string> csvFields(const std::u16string& line) {
    std::vector<std::u16string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                fields.back() += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == u'"' && fields.back().empty()) {
            quoted = true;
        } else if (c == u',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (quoted)
        throw UsageError("引号没有结束");
    return fields;
}

std::u16string u16(const std::string& utf8) {
    return engine::fromUtf8(utf8);
}

unsigned positiveCount(const std::string& text, const std::string& option, long most = 256) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > most)
        throw UsageError(option + " 需要 1 到 " + std::to_string(most) + " 之间的整数，而不是“" +
                         text + "”");
    return static_cast<unsigned>(value);
}

unsigned parseKinds(const std::string& list) {
    unsigned kinds = 0;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        if (name == "text")
            kinds |= kKindText;
        else if (name == "mtext")
            kinds |= kKindMText;
        else if (name == "attrib")
            kinds |= kKindAttrib;
        else if (name == "dimension")
            kinds |= kKindDimension;
        else if (name == "blockdef")
            kinds |= kKindBlockDef;
        else if (name == "table")
            kinds |= kKindTable;
        else if (name == "mleader")
            kinds |= kKindMLeader;
        else if (name == "all")
            kinds |= kKindAll;
        else
            throw UsageError(
                "--kinds 不认识“" + name +
                "”，可用的有 text、mtext、attrib、dimension、blockdef、table、mleader、all");
        start = comma + 1;
    }
    return kinds;
}

}  // namespace

std::vector<Pair> parsePairs(const std::string& input) {
    std::string bytes = input;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    const std::u16string text =
        textcodec::isValidUtf8(bytes) ? engine::fromUtf8(bytes) : codepage::fromCodePage936(bytes);
    // GBK has no U+FFFD of its own: one here marks bytes that neither encoding reads.
    if (!textcodec::isValidUtf8(bytes) && text.find(codepage::kReplacementCharacter) != text.npos)
        throw UsageError("对照表既不是有效的 UTF-8 文字，也不是有效的 GBK 文字");
    std::vector<Pair> pairs;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos)
            end = text.size();
        std::u16string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        if (line.empty())
            continue;
        const auto where = "对照表第 " + std::to_string(lineNumber) + " 行";
        std::vector<std::u16string> fields;
        const std::size_t tab = line.find(u'\t');
        if (tab != std::u16string::npos) {
            const std::size_t third = line.find(u'\t', tab + 1);
            fields = {line.substr(0, tab), line.substr(tab + 1, third - (tab + 1))};
            if (third != std::u16string::npos)
                fields.push_back(line.substr(third + 1));
        } else {
            try {
                fields = csvFields(line);
            } catch (const UsageError& error) {
                throw UsageError(where + error.what());
            }
        }
        if (fields.size() != 2)
            throw UsageError(where + "应当是“查找内容<TAB>替换内容”或两列 CSV");
        if (fields[0].empty())
            throw UsageError(where + "的查找内容是空的");
        pairs.push_back({fields[0], fields[1]});
    }
    return pairs;
}

std::vector<std::string> chainedPairs(const std::vector<Pair>& pairs) {
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        for (std::size_t j = i + 1; j < pairs.size(); ++j) {
            if (pairs[i].replace.find(pairs[j].find) != std::u16string::npos) {
                messages.push_back("第 " + std::to_string(i + 1) + " 对的替换内容“" +
                                   engine::toUtf8(pairs[i].replace) + "”含有第 " +
                                   std::to_string(j + 1) + " 对的查找内容“" +
                                   engine::toUtf8(pairs[j].find) + "”，会被再次替换");
            }
        }
    }
    return messages;
}

namespace {

struct ParsedArguments {
    Options options;
    std::optional<std::string> find;
    std::optional<std::string> replace;
    std::optional<std::string> pairsFile;
};

double heightValue(const std::string& text) {
    char* end = nullptr;
    const double height = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(height) || height <= 0)
        throw UsageError("--height 需要大于零的数，而不是“" + text + "”");
    return height;
}

std::string justifyValue(const std::string& option) {
    if (!dxf::isJustifyOption(option))
        throw UsageError("--justify 不认识“" + option +
                         "”，可用的有 L A F C M R TL TC TR ML MC MR BL BC BR");
    return option;
}

std::string reportFileValue(const std::string& file) {
    const auto dot = file.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : file.substr(dot);
    if (extension != ".csv" && extension != ".html" && extension != ".htm")
        throw UsageError("--report 的文件名应以 .csv 或 .html 结尾");
    return file;
}

std::string fontFolderValue(const std::string& folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(sys::pathFromUtf8(folder), error))
        throw UsageError("--fonts 需要一个字体文件夹，“" + folder + "”不是文件夹");
    return folder;
}

std::string nonEmptyValue(const std::string& value, const std::string& what) {
    if (value.empty())
        throw UsageError(what);
    return value;
}

// One option; `value` takes its value, for the options that have one.
void applyOption(const std::string& argument, const std::function<std::string()>& value,
                 ParsedArguments& parsed) {
    Options& options = parsed.options;
    if (argument == "-h" || argument == "--help") {
        options.help = true;
    } else if (argument == "--find" || argument == "--replace" || argument == "--pairs") {
        std::optional<std::string>& slot = argument == "--find"      ? parsed.find
                                           : argument == "--replace" ? parsed.replace
                                                                     : parsed.pairsFile;
        // A second one would silently take the place of the first.
        if (slot)
            throw UsageError(argument + " 只能给出一次；多对查找和替换内容请写在 --pairs 文件中");
        slot = value();
    } else if (argument == "--exact") {
        options.exact = true;
    } else if (argument == "--raw") {
        options.raw = true;
    } else if (argument == "--ignore-case") {
        options.ignoreCase = true;
    } else if (argument == "--whole-word") {
        options.wholeWord = true;
    } else if (argument == "--wildcards") {
        options.wildcards = true;
    } else if (argument == "--width-insensitive") {
        options.widthInsensitive = true;
    } else if (argument == "-r" || argument == "--recursive") {
        options.recursive = true;
    } else if (argument == "--layer") {
        options.layer = value();
    } else if (argument == "--height") {
        options.height = heightValue(value());
    } else if (argument == "--justify") {
        options.justify = justifyValue(value());
    } else if (argument == "--kinds") {
        options.kinds = parseKinds(value());
    } else if (argument == "--dry-run") {
        options.dryRun = true;
    } else if (argument == "--report") {
        options.reportFile = reportFileValue(value());
    } else if (argument == "--jobs" || argument == "-j") {
        options.jobs = positiveCount(value(), "--jobs");
    } else if (argument == "--undo") {
        options.undoRun = nonEmptyValue(value(), "--undo 需要运行编号");
    } else if (argument == "--fonts") {
        options.fontFolders.push_back(fontFolderValue(value()));
    } else if (argument == "--retry") {
        options.retryRun = nonEmptyValue(value(), "--retry 需要运行编号");
    } else if (argument == "--timeout") {
        options.timeoutSeconds = positiveCount(value(), "--timeout", 86400);
    } else if (argument == "--force") {
        options.force = true;
    } else if (argument == "--host") {
        options.host = value();
        if (options.host != "inprocess" && options.host != "bus" && options.host != "com")
            throw UsageError("--host 只能是 inprocess、bus 或 com");
    } else if (argument == "--progid") {
        options.progId = nonEmptyValue(value(), "--progid 需要一个 ProgID");
    } else {
        throw UsageError("不认识的选项“" + argument + "”");
    }
}

ParsedArguments parseList(const std::vector<std::string>& arguments) {
    ParsedArguments parsed;
    parsed.options.jobs = std::max(1u, std::thread::hardware_concurrency());
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            parsed.options.paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            argument.resize(equals);
        }
        const auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= arguments.size())
                throw UsageError(argument + " 后面缺少参数值");
            return arguments[++i];
        };
        applyOption(argument, value, parsed);
    }
    const Options& options = parsed.options;
    if (options.wildcards && options.exact)
        throw UsageError("--wildcards 已按整段文字匹配，不与 --exact 一起使用");
    if (options.wholeWord && (options.exact || options.wildcards))
        throw UsageError("--whole-word 不与 --exact 或 --wildcards 一起使用：它们已按整段文字匹配");
    return parsed;
}

}  // namespace

Options parseArguments(const std::vector<std::string>& arguments) {
    auto [options, find, replace, pairsFile] = parseList(arguments);
    if (options.help)
        return options;
    if (!options.retryRun.empty()) {
        if (!options.paths.empty() || find || replace || pairsFile || !options.undoRun.empty())
            throw UsageError(
                "--retry 使用原运行的图形和查找替换内容，不与图形路径、"
                "查找替换内容或 --undo 一起使用");
        return options;
    }
    if (!options.undoRun.empty()) {
        if (!options.paths.empty() || find || replace || pairsFile)
            throw UsageError("--undo 不与图形路径和查找替换内容一起使用");
        return options;
    }
    if (find.has_value() != replace.has_value())
        throw UsageError("--find 和 --replace 必须一起给出");
    if (find) {
        if (find->empty())
            throw UsageError("查找内容不能为空！");
        for (const auto& [option, text] : {std::pair{"--find", *find}, {"--replace", *replace}}) {
            if (!textcodec::isValidUtf8(text))
                throw UsageError(std::string(option) +
                                 " 的内容不是有效的 UTF-8 文字，请检查终端的字符编码");
        }
        options.pairs.push_back({u16(*find), u16(*replace)});
    }
    if (pairsFile) {
        std::string bytes;
        try {
            bytes = readWholeFile(sys::pathFromUtf8(*pairsFile));
        } catch (const FileError& error) {
            throw UsageError(std::string("对照表：") + error.what());
        }
        for (Pair& pair : parsePairs(bytes))
            options.pairs.push_back(std::move(pair));
    }
    if (options.pairs.empty())
        throw UsageError("请用 --find/--replace 或 --pairs 给出查找和替换内容");
    if (options.paths.empty())
        throw UsageError("请给出至少一个图形、文件夹或 @列表文件");
    return options;
}

std::vector<std::string> editingArguments(const Options& options) {
    std::vector<std::string> arguments;
    if (options.kinds != kKindText) {
        std::string kinds;
        const char* const names[] = {"text",     "mtext", "attrib", "dimension",
                                     "blockdef", "table", "mleader"};
        for (unsigned bit = 0; bit < std::size(names); ++bit) {
            if (options.kinds & (1u << bit))
                kinds += (kinds.empty() ? "" : ",") + std::string(names[bit]);
        }
        arguments.insert(arguments.end(), {"--kinds", kinds});
    }
    if (options.exact)
        arguments.push_back("--exact");
    if (options.raw)
        arguments.push_back("--raw");
    if (options.ignoreCase)
        arguments.push_back("--ignore-case");
    if (options.wholeWord)
        arguments.push_back("--whole-word");
    if (options.wildcards)
        arguments.push_back("--wildcards");
    if (options.widthInsensitive)
        arguments.push_back("--width-insensitive");
    for (const std::string& folder : options.fontFolders)
        arguments.insert(arguments.end(), {"--fonts", folder});
    if (options.layer)
        arguments.insert(arguments.end(), {"--layer", *options.layer});
    if (options.height) {
        char height[40];
        std::snprintf(height, sizeof height, "%.17g", *options.height);
        arguments.insert(arguments.end(), {"--height", height});
    }
    if (options.justify)
        arguments.insert(arguments.end(), {"--justify", *options.justify});
    if (options.host != "inprocess")
        arguments.insert(arguments.end(), {"--host", options.host});
    if (!options.progId.empty())
        arguments.insert(arguments.end(), {"--progid", options.progId});
    return arguments;
}

Options parseEditingArguments(const std::vector<std::string>& arguments) {
    const ParsedArguments parsed = parseList(arguments);
    // Only what editingArguments() writes, as it writes it.
    if (editingArguments(parsed.options) != arguments)
        throw UsageError("运行选项有误");
    return parsed.options;
}

void takeEditingOptions(Options& options, const Options& from) {
    options.kinds = from.kinds;
    options.exact = from.exact;
    options.raw = from.raw;
    options.ignoreCase = from.ignoreCase;
    options.wholeWord = from.wholeWord;
    options.wildcards = from.wildcards;
    options.widthInsensitive = from.widthInsensitive;
    options.fontFolders = from.fontFolders;
    options.layer = from.layer;
    options.height = from.height;
    options.justify = from.justify;
    options.host = from.host;
    options.progId = from.progId;
}

const char* helpText() {
    return R"(用法：quorvel-batch [选项] 路径...
在许多 DXF 图形中批量查找并替换文字，不需要打开 CAD。

路径
  图形文件              一个图形（.dxf，或保存为 DXF 的 .dwg）
  文件夹                文件夹中的全部图形（加 --recursive 时包括子文件夹）
  @列表文件             Quorvel 保存的列表文件，每行一个图形

查找与替换
  --find 文字 --replace 文字   一对查找和替换内容
  --pairs 文件          多对内容，每行“查找<TAB>替换”或两列 CSV，UTF-8 或 GBK；
                        按顺序作用于每段文字
  --exact               完全匹配：文字与查找内容完全相同才替换
  --raw                 按文字的存储内容匹配（代码也参与匹配），而不是按看到的文字
  --ignore-case         不区分大小写（拉丁字母，含全角字母）
  --whole-word          全字匹配：字母、数字和 _ 连成的词不从中间匹配（汉字各自成词），
                        如查找 M1 不改 M10；不与 --exact、--wildcards 一起使用
  --wildcards           查找内容是通配符模式，与整段文字匹配，匹配时整段文字换成替换内容；
                        通配符与 --layer 相同（* ? # @ . [..] [~..] ` ,，开头的 ~ 表示不匹配）；
                        不与 --exact 一起使用
  --width-insensitive   全角与半角字符视为相同（ＡＢＣ１２３ 与 ABC123，（） 与 ()，
                        全角空格与空格）
                        这四个选项可以相互组合（--whole-word 与 --wildcards 除外）；
                        替换内容总是按原样写入
  --layer 图层          只处理图层名与之匹配的文字（可用通配符 * ? # @ [..] ~ ,）
  --height 高度         被替换的文字改为此高度
  --justify 方式        被替换的单行文字改为此对齐方式，位置不变
                        （L A F C M R TL TC TR ML MC MR BL BC BR）
  --kinds 种类          text（默认，单行文字）、mtext（多行文字）、attrib（属性值）、
                        dimension（标注的替代文字）、blockdef（块定义中的文字）、
                        table（表格单元格的文字）、mleader（多重引线的文字）、all；
                        可用逗号连接多个

运行
  --dry-run             只查找不修改：报告所有会被替换的文字
  --report 文件         报告：.csv（带 BOM 的 UTF-8）或 .html，每段文字一行，
                        末列“可能无法显示”；.html 另有每个图形的小图（改动处标出）
                        和每处文字修改前后周围的图，可按图形、种类、图层筛选；
                        其后是各图形未搜索的内容和运行选项
  --jobs N              同时处理的图形数（默认：处理器核数）
  --fonts 文件夹        字体文件夹（SHX、TTF、TTC，可多次给出）：按字体文件逐字检查新文字
                        能否显示；不给出时只按文字样式判断（SHX 字体没有大字体时不能显示中文）。
                        新文字可能显示为“?”或方框的，报告的“可能无法显示”列写出原因
  --timeout 秒数        每个图形最长的处理时间（默认 300 秒）；超过时停止处理它，
                        图形保持原样，报告失败，其余图形照常处理
  --retry 运行编号      只重新处理该次运行中失败的图形，查找替换内容和选项与那次相同
                        （可另给 --jobs、--timeout、--report、--dry-run）
  --undo 运行编号       把某次运行改过的图形全部恢复原样
                        （加 --dry-run 时只列出将恢复的图形，不修改）
  --force               与 --undo 一起用：运行之后又被修改过的图形也恢复
  --host inprocess|bus|com
                        inprocess（默认）：本程序直接读写图形；bus：像主窗口一样通过 D-Bus
                        驱动 cad-host；com（Windows）：像主窗口一样通过 COM 驱动 CAD 主机
                        （bus 和 com 都只用一对内容，只处理单行文字）
  --progid ProgID       与 --host com 一起用：CAD 主机注册的 ProgID
                        （默认 AutoCAD.Application）
  -r, --recursive       包括子文件夹
  -h, --help            显示本帮助

每个图形在单独的工作进程中读入和修改：一个图形使程序崩溃或超时，只有它失败（给出原因），
其余图形照常处理。
代理对象、OLE 对象、外部参照、含字段的文字和匿名块中的文字不搜索（字段会被改回），
每个图形单独一行“未搜索：”列出。
每次运行都在用户数据文件夹中留下运行记录和原图备份，并单独一行输出“运行编号：<编号>”。
退出状态：0 全部成功，1 有图形失败或运行记录、报告没有写成，2 参数错误。
)";
}

}  // namespace quorvel::batch

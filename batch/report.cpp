#include "batch/report.h"

#include <string_view>

#include "batch/files.h"
#include "batch/htmlreport.h"

namespace quorvel::batch {

namespace {

const char* const kColumns[] = {"图形", "句柄",   "空间或布局", "图层",
                                "种类", "原文字", "新文字",     "可能无法显示"};

// Every field that needs it is quoted with its quotes doubled, so no text can end a field or a
// row. A field a spreadsheet would take as a formula (=, +, -, @, or a tab or CR first) is
// written with a leading apostrophe, which spreadsheets show as plain text.
std::string csvField(const std::string& text) {
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    const std::string shown = formula ? "'" + text : text;
    if (shown.find_first_of(",\"\r\n") == std::string::npos)
        return shown;
    std::string out = "\"";
    for (const char c : shown) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::vector<std::string> cells(const DrawingOutcome& outcome, const ReportRow& row) {
    return {outcome.drawing.string(),
            row.handle,
            row.space,
            row.layer,
            row.kind,
            row.oldText,
            row.newText,
            row.undisplayable};
}

const char* const kUnreachedColumns[] = {"未搜索的内容", "代理对象",     "OLE 对象",
                                         "外部参照",     "含字段的文字", "匿名块中的文字"};

std::vector<std::string> unreachedCells(const DrawingOutcome& outcome) {
    const Unreached& unreached = outcome.unreached;
    std::string references;
    for (const ExternalReference& reference : unreached.externalReferences)
        references += (references.empty() ? "" : "\n") + reference.block + "：" + reference.path;
    return {outcome.drawing.string(),
            std::to_string(unreached.proxies),
            std::to_string(unreached.oleObjects),
            references,
            std::to_string(unreached.fieldTexts),
            std::to_string(unreached.anonymousBlockTexts)};
}

// After the texts, so that readers of the text rows alone read them as before.
std::string csvTrailer(const std::vector<DrawingOutcome>& outcomes, const std::string& runOptions) {
    std::string out = "\r\n";
    for (std::size_t c = 0; c < std::size(kUnreachedColumns); ++c)
        out += std::string(c ? "," : "") + kUnreachedColumns[c];
    out += "\r\n";
    for (const DrawingOutcome& outcome : outcomes) {
        if (outcome.unreached.empty())
            continue;
        const std::vector<std::string> fields = unreachedCells(outcome);
        for (std::size_t c = 0; c < fields.size(); ++c)
            out += (c ? "," : "") + csvField(fields[c]);
        out += "\r\n";
    }
    return out + "\r\n" + csvField("运行选项：" + runOptions) + "\r\n";
}

std::string htmlUnreached(const std::vector<DrawingOutcome>& outcomes) {
    std::string out = "<h2>未搜索的内容</h2>\n<table>\n<tr>";
    for (const char* column : kUnreachedColumns)
        out += std::string("<th>") + (column == kUnreachedColumns[0] ? "图形" : column) + "</th>";
    out += "</tr>\n";
    std::size_t rows = 0;
    for (const DrawingOutcome& outcome : outcomes) {
        if (outcome.unreached.empty())
            continue;
        ++rows;
        out += "<tr>";
        for (const std::string& field : unreachedCells(outcome))
            out += "<td>" + htmlText(field) + "</td>";
        out += "</tr>\n";
    }
    if (rows == 0)
        out += "<tr><td colspan=\"6\">无</td></tr>\n";
    return out + "</table>\n";
}

// A row's picture, or why it has none.
std::string pictureCell(const std::string& svg, std::size_t row, const DrawingOutcome& outcome,
                        std::size_t& used) {
    if (!svg.empty())
        return (used += svg.size()) <= kRowPictureBytes ? svg : kPicturesLeftOut;
    if (outcome.pictures.empty())
        return svg;
    if (row > kPictureRowsPerDrawing)
        return "（每个图形只有前 " + std::to_string(kPictureRowsPerDrawing) + " 行带图）";
    return "（图中不显示）";
}

}  // namespace

void writeReport(const std::filesystem::path& file, const std::vector<DrawingOutcome>& outcomes,
                 bool dryRun, const std::string& runOptions) {
    const std::string extension = file.extension().string();
    std::string out;
    if (extension == ".csv") {
        out = "\xEF\xBB\xBF";
        for (std::size_t c = 0; c < std::size(kColumns); ++c)
            out += std::string(c ? "," : "") + kColumns[c];
        out += "\r\n";
        for (const DrawingOutcome& outcome : outcomes) {
            for (const ReportRow& row : outcome.rows) {
                const std::vector<std::string> fields = cells(outcome, row);
                for (std::size_t c = 0; c < fields.size(); ++c)
                    out += (c ? "," : "") + csvField(fields[c]);
                out += "\r\n";
            }
        }
        out += csvTrailer(outcomes, runOptions);
    } else {
        const char* title =
            dryRun ? "Quorvel 批量替换报告（试运行，未修改）" : "Quorvel 批量替换报告";
        out = std::string(
                  "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                  "<title>") +
              title +
              "</title>\n<style>table{border-collapse:collapse}td,th{border:1px solid #999;"
              "padding:2px 6px;text-align:left;vertical-align:top}" +
              kHtmlReportStyle + "</style></head><body>\n<h1>" + title + "</h1>\n<p>运行选项：" +
              htmlText(runOptions) + "</p>\n" + htmlDrawingPictures(outcomes) +
              "<table id=\"rows\">\n<thead><tr><th>编号</th>";
        for (const char* column : kColumns)
            out += std::string("<th>") + column + "</th>";
        out += "<th>修改前</th><th>修改后</th></tr></thead><tbody>\n";
        std::size_t place = 0;
        std::size_t pictureBytes = 0;
        for (const DrawingOutcome& outcome : outcomes) {
            const std::string drawing = htmlText(outcome.drawing.string(), false);
            for (std::size_t n = 1; n <= outcome.rows.size(); ++n) {
                const ReportRow& row = outcome.rows[n - 1];
                out += "<tr data-i=\"" + std::to_string(place++) + "\" data-drawing=\"" + drawing +
                       "\" data-n=\"" + std::to_string(n) + "\"><td>" + std::to_string(n) + "</td>";
                for (const std::string& field : cells(outcome, row))
                    out += "<td>" + htmlText(field) + "</td>";
                for (const std::string* picture : {&row.before, &row.after})
                    out += "<td class=\"pic\">" + pictureCell(*picture, n, outcome, pictureBytes) +
                           "</td>";
                out += "</tr>\n";
            }
        }
        out += "</tbody>";
        std::size_t undisplayable = 0;
        for (const DrawingOutcome& outcome : outcomes)
            undisplayable += outcome.undisplayable;
        out += "</table>\n<p>新文字可能无法显示：" + std::to_string(undisplayable) + " 处</p>\n" +
               htmlUnreached(outcomes) + "<script>" + kHtmlReportScript +
               "</script>\n</body></html>\n";
    }
    writeNewFile(file, out);
}

}  // namespace quorvel::batch

#include "batch/htmlreport.h"

#include "batch/svgpicture.h"

namespace quorvel::batch {

const char* const kHtmlReportStyle =
    "body{font-family:sans-serif;margin:12px}[hidden]{display:none!important}"
    "th{cursor:pointer;background:#eee;position:sticky;top:0;z-index:1}"
    "th[data-dir=up]::after{content:\" \\25B2\"}th[data-dir=down]::after{content:\" \\25BC\"}"
    "svg.pic{background:#fff;border:1px solid #ccc;display:block}"
    ".drawings{display:flex;flex-wrap:wrap;gap:12px}"
    "figure.drawing{margin:0;border:1px solid #bbb;padding:6px;background:#f6f6f6}"
    "figcaption{font-weight:bold;margin-bottom:4px}"
    ".spaces{display:flex;flex-wrap:wrap;gap:8px}.space div{font-size:90%;color:#444}"
    ".mark{cursor:pointer}.mark rect{fill:rgba(224,20,44,.12);stroke:#e0142c;stroke-width:2}"
    ".mark text{fill:#e0142c;font:bold 12px sans-serif}"
    "rect.focus{fill:rgba(224,20,44,.08);stroke:#e0142c;stroke-width:1.5;"
    "stroke-dasharray:4 2}"
    "#filters{margin:10px 0}#filters select{margin:0 12px 0 4px;max-width:24em}"
    "tr.hit td{background:#ffe9a8}td.pic{padding:2px}td.pic "
    "svg{width:300px;height:150px}th,td:nth-child(-n+6){white-space:nowrap}";

const char* const kHtmlReportScript = R"JS(
(function () {
  const table = document.getElementById('rows');
  const body = table.tBodies[0];
  const rows = Array.from(body.rows);
  const filters = [['f-drawing', 1], ['f-kind', 5], ['f-layer', 4]];
  const text = (row, column) => row.cells[column].textContent;
  function apply() {
    const wanted = filters.map(([id, column]) => [document.getElementById(id).value, column]);
    let shown = 0;
    for (const row of rows) {
      row.hidden = !wanted.every(([value, column]) => value === '' || text(row, column) === value);
      shown += row.hidden ? 0 : 1;
    }
    document.getElementById('shown').textContent = String(shown);
    const drawing = document.getElementById('f-drawing').value;
    for (const figure of document.querySelectorAll('figure.drawing'))
      figure.hidden = drawing !== '' && figure.dataset.drawing !== drawing;
  }
  for (const [id, column] of filters) {
    const select = document.getElementById(id);
    const values = Array.from(new Set(rows.map(row => text(row, column))));
    values.sort((a, b) => a.localeCompare(b, 'zh-CN'));
    for (const value of values) {
      const option = document.createElement('option');
      option.value = value;
      option.textContent = value;
      select.appendChild(option);
    }
    select.addEventListener('change', apply);
  }
  const headings = Array.from(table.tHead.rows[0].cells);
  for (const heading of headings) {
    heading.addEventListener('click', () => {
      const column = heading.cellIndex;
      const up = heading.dataset.dir !== 'up';
      for (const other of headings) delete other.dataset.dir;
      heading.dataset.dir = up ? 'up' : 'down';
      const order = (a, b) => column === 0
        ? Number(a.dataset.i) - Number(b.dataset.i)
        : text(a, column).localeCompare(text(b, column), 'zh-CN') ||
          Number(a.dataset.i) - Number(b.dataset.i);
      rows.slice().sort((a, b) => up ? order(a, b) : order(b, a))
        .forEach(row => body.appendChild(row));
    });
  }
  document.addEventListener('click', event => {
    const mark = event.target.closest ? event.target.closest('.mark') : null;
    if (!mark) return;
    const figure = mark.closest('figure');
    const row = rows.find(r => r.dataset.drawing === figure.dataset.drawing &&
                               r.dataset.n === mark.dataset.row);
    if (!row) return;
    row.hidden = false;
    row.scrollIntoView({block: 'center'});
    row.classList.add('hit');
    setTimeout(() => row.classList.remove('hit'), 2000);
  });
  apply();
})();
)JS";

std::string htmlText(const std::string& text, bool lines) {
    const std::string escaped = xmlText(text);
    if (!lines)
        return escaped;
    std::string out;
    for (const char c : escaped)
        out += c == '\n' ? std::string("<br>") : std::string(1, c);
    return out;
}

std::string htmlDrawingPictures(const std::vector<DrawingOutcome>& outcomes) {
    std::string out = "<div class=\"drawings\">\n";
    std::size_t used = 0;
    for (const DrawingOutcome& outcome : outcomes) {
        if (outcome.pictures.empty())
            continue;
        const std::string drawing = htmlText(outcome.drawing.string(), false);
        out += "<figure class=\"drawing\" data-drawing=\"" + drawing + "\"><figcaption>" + drawing +
               "</figcaption><div class=\"spaces\">";
        for (const SpacePicture& picture : outcome.pictures) {
            const bool fits = (used += picture.svg.size()) <= kDrawingPictureBytes;
            out += "<div class=\"space\"><div>" + htmlText(picture.space) + "</div>" +
                   (fits ? picture.svg : kPicturesLeftOut) + "</div>";
        }
        out += "</div></figure>\n";
    }
    return out +
           "</div>\n<p id=\"filters\">图形<select id=\"f-drawing\"><option value=\"\">全部"
           "</option></select>种类<select id=\"f-kind\"><option value=\"\">全部</option>"
           "</select>图层<select id=\"f-layer\"><option value=\"\">全部</option></select>"
           "显示 <span id=\"shown\"></span> 行（点击表头排序，点击图中的编号查看该行）</p>\n";
}

}  // namespace quorvel::batch

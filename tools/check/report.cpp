// report.cpp - the report's three files and the CSV reader behind merge. The HTML page is
// self-contained: thumbnails are data: URIs, the sorting is a few lines of inline script.
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

namespace check {
namespace {

const char* const CSV_COLUMNS[] = {"submission", "script", "result", "status", "seconds", "pixels",
                                   "box", "frame", "log", "detail", "expected_thumb", "actual_thumb",
                                   "diff_thumb"};

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string xml(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                // Control characters are not allowed in XML 1.0; a student's output may have them.
                if (c < 0x20 && c != '\n' && c != '\t') out += '?';
                else out += static_cast<char>(c);
        }
    }
    return out;
}

std::string seconds_text(double s) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", s);
    return buffer;
}

std::string base64(const std::string& bytes) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// The page's thumbnails, each file read and encoded once however many cells show it.
class Thumbnails {
public:
    explicit Thumbnails(std::string dir) : dir_(std::move(dir)) {}
    std::string img(const std::string& name, const std::string& title) {
        if (name.empty()) return "";
        auto it = uris_.find(name);
        if (it == uris_.end()) {
            std::ifstream in(dir_ + "/thumbs/" + name, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), {});
            it = uris_.emplace(name, bytes.empty() ? "" : "data:image/png;base64," + base64(bytes)).first;
        }
        if (it->second.empty()) return "";
        return "<img src=\"" + it->second + "\" title=\"" + xml(title) + "\" alt=\"" + xml(title) + "\">";
    }

private:
    std::string dir_;
    std::map<std::string, std::string> uris_;
};

const char* const PAGE_HEAD = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>plotx-check report</title>
<style>
body{font:14px sans-serif;margin:1em}table{border-collapse:collapse}
th,td{border:1px solid #bbb;padding:4px;vertical-align:top;text-align:left}
th{background:#eee;cursor:pointer}th:hover{background:#ddd}
.pass{color:#070;font-weight:bold}.fail{color:#b00;font-weight:bold}
.info{font-size:12px;color:#444}.thumbs{white-space:nowrap}pre{font-size:11px;max-width:40em;white-space:pre-wrap;margin:2px 0}
img{border:1px solid #999;margin:1px;image-rendering:pixelated}
</style></head><body>
)";

// Clicking a heading sorts by that column (numbers as numbers), again to reverse.
const char* const PAGE_SCRIPT = R"(<script>
document.querySelectorAll("th").forEach(function (th, i) {
  th.addEventListener("click", function () {
    var body = document.querySelector("tbody"), rows = Array.from(body.rows);
    var dir = th.dataset.dir = th.dataset.dir === "1" ? "-1" : "1";
    rows.sort(function (a, b) {
      var x = a.cells[i].dataset.key, y = b.cells[i].dataset.key;
      var n = Number(x) - Number(y);
      return (isNaN(n) ? x.localeCompare(y) : n) * Number(dir);
    });
    rows.forEach(function (r) { body.appendChild(r); });
  });
});
</script>
)";

std::string write_html(const std::string& dir, const std::vector<Result>& results,
                       const std::vector<std::string>& submissions, const std::vector<std::string>& scripts) {
    std::map<std::pair<std::string, std::string>, const Result*> cell;
    for (const Result& r : results) cell[{r.submission, r.script}] = &r;
    Thumbnails thumbs(dir);
    std::ostringstream page;
    size_t passed_all = 0;
    for (const std::string& s : submissions) {
        bool all = true;
        for (const std::string& sc : scripts) {
            auto it = cell.find({s, sc});
            all = all && it != cell.end() && it->second->passed();
        }
        passed_all += all;
    }
    page << PAGE_HEAD << "<h1>plotx-check report</h1>\n<p>" << submissions.size() << " submissions, "
         << scripts.size() << " scripts: " << passed_all
         << " submissions pass every script. Click a heading to sort.</p>\n<table>\n<thead><tr><th>Submission</th><th>Passed</th>";
    for (const std::string& sc : scripts) {
        std::string expected;
        for (const Result& r : results)
            if (r.script == sc && !r.expected_thumb.empty()) {
                expected = thumbs.img(r.expected_thumb, "expected: " + sc);
                break;
            }
        page << "<th>" << xml(sc) << "<br>" << expected << "</th>";
    }
    page << "</tr></thead>\n<tbody>\n";
    for (const std::string& s : submissions) {
        int passed = 0;
        std::string build_error;
        for (const std::string& sc : scripts) {
            auto it = cell.find({s, sc});
            if (it == cell.end()) continue;
            passed += it->second->passed();
            if (it->second->outcome == "build-error") build_error = it->second->detail;
        }
        page << "<tr><td data-key=\"" << xml(s) << "\">" << xml(s);
        if (!build_error.empty()) page << "<pre>" << xml(build_error) << "</pre>";
        page << "</td><td data-key=\"" << passed << "\">" << passed << "/" << scripts.size() << "</td>";
        for (const std::string& sc : scripts) {
            auto it = cell.find({s, sc});
            if (it == cell.end()) {
                page << "<td data-key=\"\">-</td>";
                continue;
            }
            const Result& r = *it->second;
            page << "<td data-key=\"" << (r.passed() ? "1" : "0") << xml(r.outcome) << "\"><span class=\""
                 << (r.passed() ? "pass" : "fail") << "\">" << xml(r.outcome) << "</span><div class=\"info\">";
            if (!r.status.empty()) page << "status " << xml(r.status) << ", " << seconds_text(r.seconds) << " s";
            if (r.pixels > 0)
                page << "<br>" << r.pixels << (r.pixels == 1 ? " pixel differs" : " pixels differ") << " in " << xml(r.box);
            if (!r.frame.empty()) page << "<br>first differing frame: " << xml(r.frame);
            // How it ended is news only when it did not simply exit.
            if (!r.passed() && !r.detail.empty() && r.outcome != "build-error" &&
                (r.outcome != "differ" || r.detail.rfind("exited with", 0) != 0))
                page << "<br>" << xml(r.detail);
            if (!r.log.empty()) page << "<br>log: " << xml(r.log);
            page << "</div><div class=\"thumbs\">";
            if (!r.passed() && !r.diff_thumb.empty()) page << thumbs.img(r.expected_thumb, "expected");
            page << thumbs.img(r.actual_thumb, "actual") << thumbs.img(r.diff_thumb, "diff") << "</div></td>";
        }
        page << "</tr>\n";
    }
    page << "</tbody></table>\n" << PAGE_SCRIPT << "</body></html>\n";
    std::ofstream out(dir + "/index.html", std::ios::trunc);
    out << page.str();
    return out.flush() ? "" : "cannot write " + dir + "/index.html";
}

std::string write_csv(const std::string& dir, const std::vector<Result>& results) {
    std::ofstream out(dir + "/results.csv", std::ios::trunc);
    for (size_t i = 0; i < std::size(CSV_COLUMNS); ++i) out << (i ? "," : "") << CSV_COLUMNS[i];
    out << "\n";
    for (const Result& r : results) {
        const std::string fields[] = {r.submission, r.script, r.outcome, r.status, seconds_text(r.seconds),
                                      r.pixels < 0 ? "" : std::to_string(r.pixels), r.box, r.frame, r.log,
                                      r.detail, r.expected_thumb, r.actual_thumb, r.diff_thumb};
        for (size_t i = 0; i < std::size(fields); ++i) out << (i ? "," : "") << csv_field(fields[i]);
        out << "\n";
    }
    return out.flush() ? "" : "cannot write " + dir + "/results.csv";
}

// One test suite per submission, one test case per script: a difference is a failure, a
// program that did not build, crashed or ran out of time an error.
std::string write_junit(const std::string& dir, const std::vector<Result>& results,
                        const std::vector<std::string>& submissions) {
    std::ostringstream x;
    size_t failures = 0, errors = 0;
    double total = 0;
    for (const Result& r : results) {
        total += r.seconds;
        if (r.passed()) continue;
        (r.outcome == "differ" || r.outcome == "no-canvas" || r.outcome == "exit") ? ++failures : ++errors;
    }
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"plotx-check\" tests=\"" << results.size()
      << "\" failures=\"" << failures << "\" errors=\"" << errors << "\" time=\"" << seconds_text(total) << "\">\n";
    for (const std::string& s : submissions) {
        std::vector<const Result*> mine;
        size_t f = 0, e = 0;
        for (const Result& r : results)
            if (r.submission == s) {
                mine.push_back(&r);
                if (!r.passed()) (r.outcome == "differ" || r.outcome == "no-canvas" || r.outcome == "exit") ? ++f : ++e;
            }
        x << "  <testsuite name=\"" << xml(s) << "\" tests=\"" << mine.size() << "\" failures=\"" << f
          << "\" errors=\"" << e << "\">\n";
        for (const Result* r : mine) {
            x << "    <testcase classname=\"" << xml(s) << "\" name=\"" << xml(r->script) << "\" time=\""
              << seconds_text(r->seconds) << "\"";
            if (r->passed()) {
                x << "/>\n";
                continue;
            }
            const bool failure = r->outcome == "differ" || r->outcome == "no-canvas" || r->outcome == "exit";
            std::string message = r->outcome;
            if (r->pixels > 0) message += ": " + std::to_string(r->pixels) + " pixels differ in " + r->box;
            x << ">\n      <" << (failure ? "failure" : "error") << " type=\"" << xml(r->outcome) << "\" message=\""
              << xml(message) << "\">" << xml(r->detail + (r->log.empty() ? "" : "\nlog: " + r->log)) << "</"
              << (failure ? "failure" : "error") << ">\n    </testcase>\n";
        }
        x << "  </testsuite>\n";
    }
    x << "</testsuites>\n";
    std::ofstream out(dir + "/junit.xml", std::ios::trunc);
    out << x.str();
    return out.flush() ? "" : "cannot write " + dir + "/junit.xml";
}

}  // namespace

std::string write_report(const std::string& dir, const std::vector<Result>& results) {
    std::vector<std::string> submissions, scripts;
    std::set<std::string> seen_submission, seen_script;
    for (const Result& r : results) {
        if (seen_submission.insert(r.submission).second) submissions.push_back(r.submission);
        if (seen_script.insert(r.script).second) scripts.push_back(r.script);
    }
    std::sort(submissions.begin(), submissions.end());
    std::sort(scripts.begin(), scripts.end());
    std::string error = write_csv(dir, results);
    if (error.empty()) error = write_junit(dir, results, submissions);
    if (error.empty()) error = write_html(dir, results, submissions, scripts);
    return error;
}

std::string read_results(const std::string& csv_path, std::vector<Result>* out) {
    std::ifstream in(csv_path, std::ios::binary);
    if (!in) return "cannot read " + csv_path;
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
        any = true;
    }
    if (!any) return csv_path + " is empty";
    if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
    if (rows.back().empty()) rows.pop_back();
    const size_t columns = std::size(CSV_COLUMNS);
    if (rows.empty() || rows[0].size() != columns || rows[0][0] != CSV_COLUMNS[0])
        return csv_path + " is not a plotx-check results file";
    for (size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string>& f = rows[i];
        if (f.size() != columns) return csv_path + ": line " + std::to_string(i + 1) + " has the wrong number of fields";
        Result r;
        r.submission = f[0];
        r.script = f[1];
        r.outcome = f[2];
        r.status = f[3];
        r.seconds = std::atof(f[4].c_str());
        r.pixels = f[5].empty() ? -1 : std::atoll(f[5].c_str());
        r.box = f[6];
        r.frame = f[7];
        r.log = f[8];
        r.detail = f[9];
        r.expected_thumb = f[10];
        r.actual_thumb = f[11];
        r.diff_thumb = f[12];
        out->push_back(r);
    }
    return "";
}

}  // namespace check

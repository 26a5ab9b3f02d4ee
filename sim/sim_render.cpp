// Text pictures of the simulated machine for the demo, dpsim and failing
// tests.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim {

namespace {

constexpr int kMaxColumns = 72;
constexpr int kMaxLines = 12;

std::string Position(const SourceMode& mode) {
  return std::to_string(mode.width) + "x" + std::to_string(mode.height) + " at (" +
         std::to_string(mode.x) + "," + std::to_string(mode.y) + ")";
}

struct View {
  const Source* source;
  std::vector<const Target*> targets;
  bool primary;
};

std::vector<View> ActiveViews(const Machine& m) {
  std::vector<View> views;
  for (const Path& p : m.paths) {
    const Source* s = FindSource(m, p.sourceId);
    const Target* t = FindTarget(m, p.targetId);
    if (!p.active || !s || !t || !s->mode) continue;
    auto it =
        std::find_if(views.begin(), views.end(), [&](const View& v) { return v.source == s; });
    if (it == views.end()) {
      views.push_back(View{s, {}, s->mode->x == 0 && s->mode->y == 0});
      it = views.end() - 1;
    }
    it->targets.push_back(t);
  }
  return views;
}

std::string Names(const View& v) {
  std::string names;
  for (const Target* t : v.targets) {
    if (!names.empty()) names += " + ";
    names += t->name.empty() ? "(no name)" : t->name;
  }
  return names;
}

class Canvas {
 public:
  Canvas(int columns, int lines) : rows_(lines, std::string(columns, ' ')) {}

  void Border(int col, int line, char c) {
    if (line < 0 || line >= static_cast<int>(rows_.size()) || col < 0 ||
        col >= static_cast<int>(rows_[line].size())) {
      return;
    }
    char& cell = rows_[line][col];
    cell = (cell == ' ' || cell == c) ? c : '+';  // where borders meet
  }

  void Text(int col, int line, const std::string& text, int width) {
    if (line < 0 || line >= static_cast<int>(rows_.size()) || width <= 0) return;
    for (int i = 0; i < width && i < static_cast<int>(text.size()); ++i) {
      if (col + i >= 0 && col + i < static_cast<int>(rows_[line].size())) {
        rows_[line][col + i] = text[i];
      }
    }
  }

  std::string Lines() const {
    std::string out;
    for (std::string row : rows_) {
      row.erase(row.find_last_not_of(' ') + 1);
      out += row + "\n";
    }
    return out;
  }

 private:
  std::vector<std::string> rows_;
};

}  // namespace

std::string RenderDesktop(const Machine& m) {
  std::string out;
  const std::vector<View> views = ActiveViews(m);
  if (views.empty()) {
    out += "No active display.\n";
  } else {
    int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (const View& v : views) {
      const SourceMode& mode = *v.source->mode;
      left = std::min<int64_t>(left, mode.x);
      top = std::min<int64_t>(top, mode.y);
      right = std::max<int64_t>(right, int64_t{mode.x} + mode.width);
      bottom = std::max<int64_t>(bottom, int64_t{mode.y} + mode.height);
    }
    // Character cells are about twice as tall as wide.
    const int64_t width = right - left, height = bottom - top;
    const int64_t perColumn = std::max<int64_t>({1, (width + kMaxColumns - 1) / kMaxColumns,
                                                 (height + 2 * kMaxLines - 1) / (2 * kMaxLines)});
    const int64_t perLine = 2 * perColumn;
    auto col = [&](int64_t x) {
      return static_cast<int>(std::llround(static_cast<double>(x - left) / perColumn));
    };
    auto line = [&](int64_t y) {
      return static_cast<int>(std::llround(static_cast<double>(y - top) / perLine));
    };
    Canvas canvas(col(right) + 1, line(bottom) + 1);
    for (const View& v : views) {
      const SourceMode& mode = *v.source->mode;
      const int l = col(mode.x), r = col(int64_t{mode.x} + mode.width);
      const int t = line(mode.y), b = line(int64_t{mode.y} + mode.height);
      for (int c = l; c <= r; ++c) {
        canvas.Border(c, t, c == l || c == r ? '+' : '-');
        canvas.Border(c, b, c == l || c == r ? '+' : '-');
      }
      for (int y = t + 1; y < b; ++y) {
        canvas.Border(l, y, '|');
        canvas.Border(r, y, '|');
      }
    }
    for (const View& v : views) {
      const SourceMode& mode = *v.source->mode;
      const int l = col(mode.x), r = col(int64_t{mode.x} + mode.width);
      const int t = line(mode.y), b = line(int64_t{mode.y} + mode.height);
      const std::string labels[] = {v.source->gdiName + (v.primary ? " [primary]" : ""), Names(v),
                                    Position(mode)};
      for (int i = 0; i < 3 && t + 1 + i < b; ++i) {
        canvas.Text(l + 1, t + 1 + i, labels[i], r - l - 1);
      }
    }
    out += "Desktop " + std::to_string(width) + "x" + std::to_string(height) +
           " (one column = " + std::to_string(perColumn) +
           " px, one line = " + std::to_string(perLine) + " px)\n";
    out += canvas.Lines();
    out += "Active displays:\n";
    for (const View& v : views) {
      std::string targets;
      for (const Target* t : v.targets) {
        if (!targets.empty()) targets += ", ";
        targets += "\"" + t->name + "\" (target " + std::to_string(t->id) +
                   (t->available ? "" : ", not connected") + ")";
      }
      out += "  " + v.source->gdiName + "  " + Position(*v.source->mode) + "  " + targets +
             (v.primary ? "  [primary]" : "") + (v.targets.size() > 1 ? "  [clone]" : "") + "\n";
    }
  }
  std::string inactive;
  for (const Target& t : m.targets) {
    if (IsTargetActive(m, t.id)) continue;
    std::string note;
    for (const Path& p : m.paths) {
      const Source* s = FindSource(m, p.sourceId);
      if (p.targetId == t.id && s) note = ", an inactive path to " + s->gdiName;
    }
    inactive += "  \"" + t.name + "\" (target " + std::to_string(t.id) + ", " +
                (t.available ? "connected" : "not connected") + note + ")\n";
  }
  out += inactive.empty() ? "Inactive targets: none\n" : "Inactive targets:\n" + inactive;
  return out;
}

std::string DescribeArrays(const std::vector<DISPLAYCONFIG_PATH_INFO>& paths,
                           const std::vector<DISPLAYCONFIG_MODE_INFO>& modes) {
  std::string out;
  auto index = [](UINT32 i) {
    return i == DISPLAYCONFIG_PATH_MODE_IDX_INVALID ? std::string("invalid") : std::to_string(i);
  };
  for (size_t k = 0; k < paths.size(); ++k) {
    const DISPLAYCONFIG_PATH_INFO& p = paths[k];
    out += "  path " + std::to_string(k) + ": source " + std::to_string(p.sourceInfo.id) +
           " (mode " + index(p.sourceInfo.modeInfoIdx) + ") -> target " +
           std::to_string(p.targetInfo.id) + " (mode " + index(p.targetInfo.modeInfoIdx) + ")" +
           ((p.flags & DISPLAYCONFIG_PATH_ACTIVE) ? " active" : " inactive") +
           (p.targetInfo.targetAvailable ? "" : " unavailable") + "\n";
  }
  for (size_t k = 0; k < modes.size(); ++k) {
    const DISPLAYCONFIG_MODE_INFO& mode = modes[k];
    out += "  mode " + std::to_string(k) + ": ";
    if (mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
      out += "source " + std::to_string(mode.id) + " " + std::to_string(mode.sourceMode.width) +
             "x" + std::to_string(mode.sourceMode.height) + " at (" +
             std::to_string(mode.sourceMode.position.x) + "," +
             std::to_string(mode.sourceMode.position.y) + ")\n";
    } else if (mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
      const auto& v = mode.targetMode.targetVideoSignalInfo;
      out += "target " + std::to_string(mode.id) + " " + std::to_string(v.activeSize.cx) + "x" +
             std::to_string(v.activeSize.cy) + "\n";
    } else {
      out += "type " + std::to_string(mode.infoType) + " id " + std::to_string(mode.id) + "\n";
    }
  }
  return out;
}

std::string DescribeSetCalls(const Machine& m) {
  std::string out;
  for (size_t i = 0; i < m.setCalls.size(); ++i) {
    const RecordedSetCall& c = m.setCalls[i];
    char flags[16];
    snprintf(flags, sizeof flags, "0x%X", static_cast<unsigned>(c.flags));
    out += "SetDisplayConfig call " + std::to_string(i + 1) + ": flags " + flags + ", " +
           std::to_string(c.numPathArrayElements) + " paths, " +
           std::to_string(c.numModeInfoArrayElements) + " modes -> " + std::to_string(c.result) +
           "\n" + DescribeArrays(c.paths, c.modes);
  }
  if (out.empty()) out = "No SetDisplayConfig call recorded.\n";
  return out;
}

}  // namespace sim

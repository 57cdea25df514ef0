#include "cli/mapcommand.h"

#include "platform/displaytext.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace nimbrel::cli {
namespace {

std::string Hex4(std::int32_t address) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(address));
    return buf;
}

std::string Number(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", value);
    std::string s = buf;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const MapRange& RangeOf(const MemoryMap& map, std::size_t item) {
    // Items that overlap write bytes, so each has its range.
    return map.Ranges()[map.RangeOfItem(item).value_or(0)];
}

// Calls `range(k)` and `gap(span)` in address order, a gap before the range
// it precedes.
template <typename OnRange, typename OnGap>
void InAddressOrder(const MemoryMap& map, OnRange range, OnGap gap) {
    std::size_t g = 0;
    const auto& gaps = map.Gaps();
    for (std::size_t k = 0; k < map.Ranges().size(); ++k) {
        for (; g < gaps.size() && gaps[g].first < map.Ranges()[k].first; ++g)
            gap(gaps[g]);
        range(k);
    }
    for (; g < gaps.size(); ++g)
        gap(gaps[g]);
}

// ---- SVG

constexpr double kWidth = 1200;
constexpr double kMargin = 20;
constexpr double kLaneHeight = 18;
constexpr double kBarHeight = 14;
constexpr double kGapWidth = 40; // a long free stretch on the axis
constexpr double kMaxByteWidth = 48;
constexpr double kCharWidth = 6.6;      // of the 11 px labels
constexpr double kSmallCharWidth = 5.4; // of the 9 px ones
constexpr std::size_t kMaxLanes = 64;
constexpr std::size_t kMaxLegend = 24;
constexpr std::array<const char*, 10> kPalette = {"#4e79a7", "#f28e2b", "#59a14f", "#b07aa1",
                                                  "#76b7b2", "#edc948", "#9c755f", "#bab0ac",
                                                  "#86bcb6", "#d4a6c8"};

// Text from the file as XML character data: escaped for display first (no
// control bytes, valid UTF-8), then the markup characters and the two
// characters XML does not allow.
std::string Xml(const std::string& text) {
    const std::string shown = DisplayText(text);
    std::string out;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const char c = shown[i];
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '\'') {
            out += "&#39;";
        } else if (shown.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < shown.size() &&
                   (shown[i + 2] == '\xBE' || shown[i + 2] == '\xBF')) {
            out += shown[i + 2] == '\xBE' ? "\\xef\\xbf\\xbe" : "\\xef\\xbf\\xbf";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// At most `chars` characters of `text` as shown, "…" marking a cut.
std::string Clip(const std::string& text, std::size_t chars) {
    const std::string shown = DisplayText(text);
    std::size_t at = 0;
    std::size_t n = 0;
    while (at < shown.size() && n < chars) {
        at += std::max<std::size_t>(1, Utf8Length(shown, at));
        ++n;
    }
    if (at >= shown.size()) return shown;
    if (n == 0) return {};
    // Room for the mark: one character less.
    std::size_t cut = 0;
    for (std::size_t k = 0; k + 1 < n; ++k)
        cut += std::max<std::size_t>(1, Utf8Length(shown, cut));
    return shown.substr(0, cut) + "\xE2\x80\xA6";
}

// The zoomed axis: the written stretches to scale, free stretches between
// them shortened to kGapWidth when longer; all to scale when there are too
// many of them for that.
class Axis {
public:
    Axis(const MemoryMap& map, MapSpan extent, double width) {
        const auto [gb, ge] = MemoryMap::SpansIn(map.Gaps(), extent.first, extent.last);
        std::vector<MapSpan> inner(map.Gaps().begin() + static_cast<std::ptrdiff_t>(gb),
                                   map.Gaps().begin() + static_cast<std::ptrdiff_t>(ge));
        const bool shorten = static_cast<double>(inner.size()) * kGapWidth < width / 3;
        double scale = width / extent.Size();
        if (shorten) {
            // Gaps narrower than kGapWidth at the scale stay to scale: a few
            // rounds settle which those are.
            for (int round = 0; round < 8; ++round) {
                double fixed = 0;
                double bytes = map.UsedBytes();
                for (const MapSpan& g : inner) {
                    if (g.Size() * scale > kGapWidth) {
                        fixed += kGapWidth;
                    } else {
                        bytes += g.Size();
                    }
                }
                scale = (width - fixed) / bytes;
            }
        }
        scale = std::min(scale, kMaxByteWidth);
        double x = 0;
        std::int32_t at = extent.first;
        auto piece = [&](std::int32_t first, std::int32_t last, double pieceWidth, bool gap) {
            pieces_.push_back({first, last, x, pieceWidth / (last - first + 1), gap});
            x += pieceWidth;
        };
        for (const MapSpan& g : inner) {
            if (g.first > at) piece(at, g.first - 1, (g.first - at) * scale, false);
            piece(g.first, g.last,
                  shorten ? std::min(g.Size() * scale, kGapWidth) : g.Size() * scale, true);
            at = g.last + 1;
        }
        piece(at, extent.last, (extent.last - at + 1) * scale, false);
        width_ = x;
    }

    // Where `address` starts.
    double X(std::int32_t address) const {
        const auto it = std::partition_point(
            pieces_.begin(), pieces_.end(), [address](const Piece& p) { return p.last < address; });
        if (it == pieces_.end()) return width_;
        return it->x + (address - it->first) * it->scale;
    }
    // Where `address` ends.
    double End(std::int32_t address) const { return address >= Last() ? width_ : X(address + 1); }
    double Width() const { return width_; }
    std::int32_t Last() const { return pieces_.back().last; }

    struct Piece {
        std::int32_t first;
        std::int32_t last;
        double x;
        double scale; // per byte
        bool gap;
    };
    const std::vector<Piece>& Pieces() const { return pieces_; }

private:
    std::vector<Piece> pieces_;
    double width_ = 0;
};

class SvgWriter {
public:
    explicit SvgWriter(const MemoryMap& map) : map_(map) {}

    std::string Write(const std::string& title) {
        const double inner = kWidth - 2 * kMargin;
        double y = 28;
        Text(kMargin, y, 15, "bold", Xml(title));
        y += 18;
        Text(kMargin, y, 11, "",
             std::to_string(map_.Ranges().size()) + " items write " +
                 Plural(map_.UsedBytes(), "byte", "bytes") + "; " +
                 Plural(map_.OverlapCount(), "overlapping pair", "overlapping pairs") + "; " +
                 Plural(FreeBytes(), "byte", "bytes") + " free.");
        y += 16;
        Overview(y, inner);
        y += 62;

        const std::optional<MapSpan> extent = map_.Extent();
        if (extent) {
            const Axis axis(map_, *extent, inner);
            const std::size_t lanes = std::min(map_.Lanes(), kMaxLanes);
            Bars(axis, y, lanes);
            y += static_cast<double>(lanes) * kLaneHeight + 4;
            Ticks(axis, y);
            y += 34;
            if (map_.Lanes() > kMaxLanes) {
                std::size_t hidden = 0;
                for (const MapRange& r : map_.Ranges())
                    hidden += r.lane >= kMaxLanes ? 1 : 0;
                Text(kMargin, y, 11, "",
                     Plural(static_cast<std::int64_t>(hidden), "item", "items") +
                         " in further overlapping lanes not drawn; the table lists every item.");
                y += 18;
            }
        }
        y = Legend(y, inner);

        std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                          Number(kWidth) + "\" height=\"" + Number(y + kMargin) +
                          "\" viewBox=\"0 0 " + Number(kWidth) + " " + Number(y + kMargin) +
                          "\" font-family=\"sans-serif\">\n"
                          "<defs>\n"
                          "<pattern id=\"shared\" width=\"6\" height=\"6\" "
                          "patternUnits=\"userSpaceOnUse\" patternTransform=\"rotate(45)\">"
                          "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#d00000\" "
                          "stroke-width=\"2.5\"/></pattern>\n"
                          "<pattern id=\"free\" width=\"8\" height=\"8\" "
                          "patternUnits=\"userSpaceOnUse\" patternTransform=\"rotate(-45)\">"
                          "<rect width=\"8\" height=\"8\" fill=\"#f6f6f6\"/>"
                          "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"8\" stroke=\"#dddddd\" "
                          "stroke-width=\"2\"/></pattern>\n"
                          "</defs>\n"
                          "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
        return svg + body_ + "</svg>\n";
    }

private:
    std::int64_t FreeBytes() const { return kMaxAddress + 1 - map_.UsedBytes(); }

    static const char* Colour(std::size_t sensor) { return kPalette[sensor % kPalette.size()]; }

    void Text(double x, double y, int size, const char* weight, const std::string& xml,
              const char* anchor = "start") {
        body_ += "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" font-size=\"" +
                 std::to_string(size) + "\"";
        if (*weight != 0) body_ += std::string(" font-weight=\"") + weight + "\"";
        if (std::string(anchor) != "start") body_ += std::string(" text-anchor=\"") + anchor + "\"";
        body_ += ">" + xml + "</text>\n";
    }

    void Rect(double x, double y, double w, double h, const std::string& fill,
              const std::string& extra = {}) {
        body_ += "<rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" + Number(w) +
                 "\" height=\"" + Number(h) + "\" fill=\"" + fill + "\"" + extra + "/>";
    }

    // 0000-FFFF: written stretches, shared bytes in red, the zoomed part framed.
    void Overview(double y, double width) {
        const double scale = width / (kMaxAddress + 1);
        auto x = [&](std::int32_t a) { return kMargin + a * scale; };
        Text(kMargin, y + 10, 11, "", "0000-FFFF");
        const double top = y + 16;
        Rect(kMargin, top, width, 20, "url(#free)", " stroke=\"#999999\"");
        body_ += "\n";
        std::int32_t at = 0;
        auto used = [&](std::int32_t first, std::int32_t last) {
            Rect(x(first), top, std::max(1.0, (last - first + 1) * scale), 20, "#6f8fb0");
        };
        for (const MapSpan& g : map_.Gaps()) {
            if (g.first > at) used(at, g.first - 1);
            at = g.last + 1;
        }
        if (at <= kMaxAddress) used(at, kMaxAddress);
        for (const MapSpan& s : map_.Shared())
            Rect(x(s.first), top, std::max(1.0, s.Size() * scale), 20, "#d00000");
        if (const auto extent = map_.Extent()) {
            Rect(x(extent->first) - 1, top - 2, std::max(3.0, extent->Size() * scale) + 2, 24,
                 "none", " stroke=\"#222222\" stroke-width=\"1.5\"");
        }
        body_ += "\n";
        for (std::int32_t a : {0x0000, 0x4000, 0x8000, 0xC000, kMaxAddress + 1}) {
            Text(x(a), top + 34, 10, "", Hex4(std::min(a, kMaxAddress)),
                 a == 0            ? "start"
                 : a > kMaxAddress ? "end"
                                   : "middle");
        }
    }

    void Bars(const Axis& axis, double top, std::size_t lanes) {
        const double height = static_cast<double>(lanes) * kLaneHeight;
        // Free stretches between the written ones, across every lane.
        for (const Axis::Piece& p : axis.Pieces()) {
            if (!p.gap) continue;
            const double x = kMargin + p.x;
            const double w = (p.last - p.first + 1) * p.scale;
            body_ += "<g><title>" + Hex4(p.first) + "-" + Hex4(p.last) + ": " +
                     Plural(p.last - p.first + 1, "byte", "bytes") + " free</title>";
            Rect(x, top, w, height, "url(#free)");
            body_ += "</g>\n";
            // Its size across it where it fits, else along it, else only in its title.
            const std::string label = std::to_string(p.last - p.first + 1) + " free";
            const double length = static_cast<double>(label.size()) * kSmallCharWidth + 4;
            const double cx = x + w / 2;
            const double cy = top + height / 2;
            if (w >= length || (w >= 10 && height >= length)) {
                body_ += "<text x=\"" + Number(cx) + "\" y=\"" + Number(cy) +
                         "\" font-size=\"9\" fill=\"#777777\" text-anchor=\"middle\" "
                         "dominant-baseline=\"middle\"";
                if (w < length)
                    body_ += " transform=\"rotate(-90 " + Number(cx) + " " + Number(cy) + ")\"";
                body_ += ">" + label + "</text>\n";
            }
        }
        for (const MapRange& r : map_.Ranges()) {
            if (r.lane >= lanes) continue;
            const double x = kMargin + axis.X(r.first);
            const double w = std::max(1.0, axis.End(r.last) - axis.X(r.first));
            const double y = top + static_cast<double>(r.lane) * kLaneHeight;
            body_ += "<g><title>" + Xml(r.name) + " (" + Xml(r.sensor) + "), " + Hex4(r.first) +
                     "-" + Hex4(r.last) + ", " + Plural(r.size, "byte", "bytes") +
                     (r.overlapped ? ", overlaps another item" : "") + "</title>";
            Rect(x, y, w, kBarHeight, Colour(r.sensorIndex),
                 " stroke=\"#333333\" stroke-width=\"0.5\"");
            // The bytes other items write too.
            const auto [sb, se] = MemoryMap::SpansIn(map_.Shared(), r.first, r.last);
            for (std::size_t s = sb; s < se; ++s) {
                const std::int32_t from = std::max(r.first, map_.Shared()[s].first);
                const std::int32_t to = std::min(r.last, map_.Shared()[s].last);
                Rect(kMargin + axis.X(from), y, std::max(1.0, axis.End(to) - axis.X(from)),
                     kBarHeight, "url(#shared)", " stroke=\"#d00000\" stroke-width=\"0.8\"");
            }
            const auto chars = static_cast<std::size_t>(std::max(0.0, (w - 6) / kCharWidth));
            if (chars >= 3) {
                body_ += "<text x=\"" + Number(x + 3) + "\" y=\"" + Number(y + 11) +
                         "\" font-size=\"11\" fill=\"#000000\" stroke=\"#ffffff\" "
                         "stroke-width=\"3\" stroke-opacity=\"0.8\" paint-order=\"stroke\">" +
                         Xml(Clip(r.name, chars)) + "</text>";
            }
            body_ += "</g>\n";
        }
    }

    // The first address of each stretch and the last one written, where
    // there is room for them.
    void Ticks(const Axis& axis, double y) {
        double lastEnd = -1e9;
        auto tick = [&](std::int32_t address, double x) {
            if (x - lastEnd < 34) return;
            body_ += "<line x1=\"" + Number(kMargin + x) + "\" y1=\"" + Number(y - 4) + "\" x2=\"" +
                     Number(kMargin + x) + "\" y2=\"" + Number(y + 3) + "\" stroke=\"#333333\"/>";
            Text(kMargin + x, y + 14, 10, "", Hex4(address), "middle");
            lastEnd = x;
        };
        body_ += "<line x1=\"" + Number(kMargin) + "\" y1=\"" + Number(y) + "\" x2=\"" +
                 Number(kMargin + axis.Width()) + "\" y2=\"" + Number(y) +
                 "\" stroke=\"#333333\"/>\n";
        for (const Axis::Piece& p : axis.Pieces())
            tick(p.first, p.x);
        if (axis.Last() != axis.Pieces().back().first) tick(axis.Last(), axis.Width());
        body_ += "\n";
    }

    double Legend(double y, double width) {
        // Sensors that write something, in their order.
        std::vector<bool> shown(map_.Sensors().size(), false);
        for (const MapRange& r : map_.Ranges())
            shown[r.sensorIndex] = true;
        double x = 0;
        std::size_t listed = 0;
        std::size_t left = 0;
        for (std::size_t s = 0; s < shown.size(); ++s) {
            if (!shown[s]) continue;
            if (listed == kMaxLegend) {
                ++left;
                continue;
            }
            const std::string name = Clip(map_.Sensors()[s], 40);
            const double w = 22 + static_cast<double>(name.size()) * kCharWidth * 0.9;
            if (x > 0 && x + w > width) {
                x = 0;
                y += 18;
            }
            Rect(kMargin + x, y, 12, 12, Colour(s), " stroke=\"#333333\" stroke-width=\"0.5\"");
            Text(kMargin + x + 16, y + 10, 11, "", Xml(name));
            x += w + 12;
            ++listed;
        }
        if (left > 0) {
            y += 18;
            Text(kMargin, y + 10, 11, "",
                 "and " + Plural(static_cast<std::int64_t>(left), "more sensor", "more sensors"));
        }
        Rect(kMargin, y + 22, 12, 12, "url(#shared)", " stroke=\"#d00000\" stroke-width=\"0.8\"");
        Text(kMargin + 16, y + 32, 11, "", "written by more than one item");
        Rect(kMargin + 220, y + 22, 12, 12, "url(#free)", " stroke=\"#999999\"");
        Text(kMargin + 236, y + 32, 11, "", "free");
        return y + 40;
    }

    const MemoryMap& map_;
    std::string body_;
};

} // namespace

std::string FormatMapTable(const MemoryMap& map) {
    std::size_t nameWidth = 4;
    for (const MapRange& r : map.Ranges())
        nameWidth = std::max(nameWidth, DisplayText(r.name).size());
    nameWidth = std::min<std::size_t>(nameWidth, 40);
    auto pad = [](std::string s, std::size_t width) {
        if (s.size() < width) s.append(width - s.size(), ' ');
        return s;
    };
    auto row = [&](std::int32_t first, std::int32_t last, std::int32_t size, char mark,
                   const std::string& item, const std::string& sensor) {
        char lead[40];
        std::snprintf(lead, sizeof lead, "%-5s %-5s %5d %c ", Hex4(first).c_str(),
                      Hex4(last).c_str(), size, mark);
        std::string line = lead + pad(item, nameWidth) + "  " + sensor;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        return line + "\n";
    };
    std::string out = "Start End    Size   " + pad("Item", nameWidth) + "  Sensor\n";
    InAddressOrder(
        map,
        [&](std::size_t k) {
            const MapRange& r = map.Ranges()[k];
            out += row(r.first, r.last, r.size, r.overlapped ? '!' : ' ', DisplayText(r.name),
                       DisplayText(r.sensor));
        },
        [&](const MapSpan& g) { out += row(g.first, g.last, g.Size(), ' ', "(free)", ""); });
    if (!map.Overlaps().empty()) {
        out += "Overlapping items (! above):\n";
        for (const Overlap& o : map.Overlaps()) {
            const MapRange& a = RangeOf(map, o.first);
            const MapRange& b = RangeOf(map, o.second);
            out += "  " + Hex4(o.from) + "-" + Hex4(o.to) + "  \"" + DisplayText(a.name) + "\" (" +
                   DisplayText(a.sensor) + ") and \"" + DisplayText(b.name) + "\" (" +
                   DisplayText(b.sensor) + ")\n";
        }
        const std::int64_t more =
            map.OverlapCount() - static_cast<std::int64_t>(map.Overlaps().size());
        if (more > 0)
            out += "  ... and " + Plural(more, "more overlapping pair", "more overlapping pairs") +
                   ".\n";
    }
    return out;
}

std::string MapSummaryText(const MemoryMap& map, const std::string& file, const std::string& svg) {
    return file + ": " +
           Plural(static_cast<std::int64_t>(map.Ranges().size()), "item writes", "items write") +
           " " + Plural(map.UsedBytes(), "byte", "bytes") + ", " +
           Plural(map.OverlapCount(), "overlapping pair", "overlapping pairs") + ", " +
           Plural(kMaxAddress + 1 - map.UsedBytes(), "byte", "bytes") + " free" +
           (svg.empty() ? "." : "; drawn in " + svg + ".");
}

void WriteMapJson(JsonWriter& json, const MemoryMap& map) {
    auto ref = [&](std::size_t item) {
        const MapRange& r = RangeOf(map, item);
        json.BeginObject()
            .Field("index", r.item)
            .Field("name", r.name)
            .Field("sensor", r.sensor)
            .Field("address", r.first)
            .EndObject();
    };
    json.Key("rows").BeginArray();
    InAddressOrder(
        map,
        [&](std::size_t k) {
            const MapRange& r = map.Ranges()[k];
            json.BeginObject()
                .Field("kind", "item")
                .Field("start", r.first)
                .Field("end", r.last)
                .Field("size", r.size)
                .Field("index", r.item)
                .Field("name", r.name)
                .Field("sensor", r.sensor)
                .Field("overlaps", r.overlapped)
                .EndObject();
        },
        [&](const MapSpan& g) {
            json.BeginObject()
                .Field("kind", "free")
                .Field("start", g.first)
                .Field("end", g.last)
                .Field("size", g.Size())
                .EndObject();
        });
    json.EndArray().Key("overlaps").BeginArray();
    for (const Overlap& o : map.Overlaps()) {
        json.BeginObject().Key("first");
        ref(o.first);
        json.Key("second");
        ref(o.second);
        json.Field("from", o.from).Field("to", o.to).EndObject();
    }
    json.EndArray()
        .Field("unlisted_overlaps",
               map.OverlapCount() - static_cast<std::int64_t>(map.Overlaps().size()))
        .Field("used_bytes", map.UsedBytes())
        .Field("free_bytes", kMaxAddress + 1 - map.UsedBytes());
}

std::string MapSvg(const MemoryMap& map, const std::string& title) {
    return SvgWriter(map).Write(title);
}

bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error) {
    // Beside the file a link points to, which stays a link.
    std::error_code ec;
    std::string target = path;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::canonical(path, ec);
        if (!ec) target = resolved.string();
    }
    const std::string temp = target + ".~" + std::to_string(::getpid()) + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            const std::string why = std::error_code(errno, std::generic_category()).message();
            std::filesystem::remove(temp, ec);
            error = "The file " + path + " could not be written: " + why + ".";
            return false;
        }
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        error = "The file " + path + " could not be written: " + ec.message() + ".";
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace nimbrel::cli

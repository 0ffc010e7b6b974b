#include "DxfDrawing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "DxfTagReader.h"
#include "NumberText.h"

namespace tessik::dxf {

namespace {

bool isTag(const DxfTag& t, int code, std::string_view value) { return t.code == code && t.value == value; }

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Where tag i starts in an ASCII file: two lines a tag. Binary files have no
// lines; the count still locates the tag.
std::string where(std::size_t i) { return "第 " + std::to_string(2 * i + 1) + " 行"; }

Error structureError(std::size_t i, const std::string& what)
{
    return Error{errc::kTypeMismatch, where(i) + "：" + what, {}};
}

std::optional<std::uint64_t> parseHandle(std::string_view s)
{
    if (s.empty() || s.size() > 16) return std::nullopt;
    std::uint64_t v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::string hexHandle(std::uint64_t v)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, 16);
    std::string s(buf, res.ptr);
    return upper(s);
}

Status checkTags(const std::string& type, const std::vector<DxfTag>& tags, const DxfFileForm& form)
{
    for (const DxfTag& t : tags) {
        if (!writable(t, form))
            return Error{errc::kTypeMismatch,
                         "无法写出 " + type + " 实体：组码 " + std::to_string(t.code) + " 的值“" +
                             t.value + "”无法写入 DXF",
                         type};
    }
    return success();
}

}  // namespace

std::string formatReal(double value)
{
    RealText text;
    return std::string(formatReal(value, text));
}

std::string_view formatReal(double value, RealText& out)
{
    // The shortest form is at most 24 characters, so ".0" always fits.
    char* const end = std::to_chars(out.data(), out.data() + out.size() - 2, value).ptr;
    std::string_view s(out.data(), std::size_t(end - out.data()));
    if (std::isfinite(value) && s.find_first_of(".eE") == std::string_view::npos) {
        end[0] = '.';
        end[1] = '0';
        s = std::string_view(out.data(), s.size() + 2);
    }
    return s;
}

Result<DxfDrawing> DxfDrawing::fromBytes(std::string_view bytes) { return fromBuffer(std::string(bytes)); }

Result<DxfDrawing> DxfDrawing::fromBuffer(std::string bytes)
{
    // The tags view the bytes: the drawing and its copies keep them.
    auto buffer = std::make_shared<const std::string>(std::move(bytes));
    auto tags = readDxfTags(*buffer);
    if (!tags) return tags.error();
    DxfDrawing drawing;
    drawing.buffer_ = std::move(buffer);
    drawing.tags_ = std::move(tags).value();
    drawing.form_ = fileForm(*drawing.buffer_);
    if (Status indexed = drawing.index(); !indexed) return indexed.error();
    return drawing;
}

void DxfDrawing::keepTexts(std::vector<DxfTag>& tags) const
{
    const char* const begin = buffer_ ? buffer_->data() : nullptr;
    const char* const end = buffer_ ? begin + buffer_->size() : nullptr;
    for (DxfTag& t : tags)
        if (t.value.isView() && !(t.value.data() >= begin && t.value.data() + t.value.size() <= end)) t.value.makeOwn();
}

std::string DxfDrawing::className(std::string_view recordName) const
{
    if (!classes_) return {};
    for (std::size_t k = classes_->begin + 2; k < classes_->end; ++k) {
        if (!isTag(tags_[k], 0, "CLASS")) continue;
        std::string_view record;
        std::string name;
        for (std::size_t m = k + 1; m < classes_->end && tags_[m].code != 0; ++m) {
            if (tags_[m].code == 1 && record.empty()) record = tags_[m].value;
            if (tags_[m].code == 2 && name.empty()) name = tags_[m].value;
        }
        if (record == recordName) return name;
    }
    return {};
}

Status DxfDrawing::index()
{
    std::size_t i = 0;
    const std::size_t n = tags_.size();
    bool sawSection = false;
    while (i < n) {
        const DxfTag& t = tags_[i];
        if (t.code == 999) {
            ++i;
            continue;
        }
        if (isTag(t, 0, "EOF")) break;
        if (!isTag(t, 0, "SECTION"))
            return structureError(i, "这里应是一个段（0 SECTION），却是“" + std::to_string(t.code) + " " +
                                         t.value.substr(0, 40) + "”");
        if (i + 1 >= n || tags_[i + 1].code != 2) return structureError(i, "段没有名字");
        const std::string name = tags_[i + 1].value;
        std::size_t end = i + 2;
        for (; end < n; ++end) {
            if (tags_[end].code != 0) continue;
            const std::string_view type = tags_[end].value;
            if (type == "ENDSEC") break;
            if (type == "SECTION" || type == "EOF") return structureError(end, "段“" + name + "”没有结束（缺少 ENDSEC）");
        }
        if (end >= n) return structureError(i, "段“" + name + "”没有结束（缺少 ENDSEC），文件不完整");
        const Range range{i, end};
        if (name == "HEADER") header_ = range;
        if (name == "CLASSES") classes_ = range;
        if (name == "ENTITIES") {
            entitiesSection_ = range;
            if (Status s = indexEntities(range); !s) return s;
        }
        if (name == "BLOCKS") indexBlocks(range);
        if (name == "OBJECTS") indexLayouts(range);
        if (name == "TABLES") {
            if (!tables_) tables_ = range;
            for (std::size_t k = i + 2; k < end; ++k) {
                if (isTag(tags_[k], 0, "ENDTAB") && !layers_.empty() && !layerTableEnd_ &&
                    layers_.back().end == k)
                    layerTableEnd_ = k;
                if (isTag(tags_[k], 0, "LAYER")) {
                    std::size_t m = k + 1;
                    while (m < end && tags_[m].code != 0) ++m;
                    layers_.push_back({k, m});
                }
                if (!isTag(tags_[k], 0, "BLOCK_RECORD")) continue;
                std::string recordName, handle;
                for (std::size_t m = k + 1; m < end && tags_[m].code != 0; ++m) {
                    if (tags_[m].code == 2 && recordName.empty()) recordName = tags_[m].value;
                    if (tags_[m].code == 5 && handle.empty()) handle = tags_[m].value;
                }
                if (!recordName.empty() && !handle.empty()) {
                    blockRecordHandles_.emplace(upper(recordName), handle);
                    blockRecordNames_.emplace(upper(handle), recordName);
                }
            }
        }
        sawSection = true;
        i = end + 1;
    }
    if (!sawSection) return Error{errc::kTypeMismatch, "这不是 DXF 文件：其中没有任何段（SECTION）", {}};
    // The entities of the paper layouts but the active one, after the ENTITIES section's.
    std::set<std::string, std::less<>> indexed{"*MODEL_SPACE", "*PAPER_SPACE"};
    for (const Layout& layout : layouts_) {
        std::string block = upper(layout.block);
        const auto it = blocks_.find(block);
        if (it == blocks_.end() || !indexed.insert(block).second) continue;
        for (const Range& r : it->second.entities) {
            EntityRecord record;
            record.type = tags_[r.begin].value;
            record.space = Space::Paper;
            record.block = block;
            for (std::size_t k = r.begin + 1; k < r.end; ++k)
                if (tags_[k].code == 5) {
                    record.handle = tags_[k].value;
                    break;
                }
            recordRanges_.push_back(r);
            records_.push_back(std::move(record));
        }
    }
    version_ = headerValue("$ACADVER").value_or("AC1009");
    codePage_ = headerValue("$DWGCODEPAGE").value_or("ANSI_1252");
    return indexHandles();
}

void DxfDrawing::indexBlocks(Range section)
{
    Block* current = nullptr;
    for (std::size_t i = section.begin + 2; i < section.end;) {
        std::size_t end = i + 1;
        while (end < section.end && tags_[end].code != 0) ++end;
        if (tags_[i].code == 0 && tags_[i].value == "BLOCK") {
            std::string blockName;
            for (std::size_t k = i + 1; k < end; ++k)
                if (tags_[k].code == 2) {
                    blockName = upper(tags_[k].value);
                    break;
                }
            current = &blocks_[blockName];
            current->header = {i, end};
            current->entities.clear();
            current->end.reset();
        } else if (tags_[i].code == 0 && tags_[i].value == "ENDBLK") {
            if (current) current->end = i;
            current = nullptr;
        } else if (current && tags_[i].code == 0) {
            current->entities.push_back({i, end});
        }
        i = end;
    }
}

void DxfDrawing::indexLayouts(Range section)
{
    for (std::size_t i = section.begin + 2; i < section.end; ++i) {
        if (!isTag(tags_[i], 0, "LAYOUT")) continue;
        // The layout's own groups follow its subclass marker (those before
        // are its plot settings, whose group 1 is a page set-up's name).
        Layout layout;
        bool own = false, named = false, tab = false;
        std::string blockHandle;
        for (std::size_t k = i + 1; k < section.end && tags_[k].code != 0; ++k) {
            const DxfTag& t = tags_[k];
            if (t.code == 100) own = t.value == "AcDbLayout";
            if (!own) continue;
            if (t.code == 1 && !named) {
                layout.name = t.value;
                named = true;
            }
            if (t.code == 71 && !tab) {
                const double order = tagNumber(t.value).value_or(0);
                layout.tabOrder = std::abs(order) < 1e6 ? static_cast<int>(order) : 0;
                tab = true;
            }
            if (t.code == 330 && blockHandle.empty()) blockHandle = t.value;
        }
        const auto it = blockRecordNames_.find(upper(blockHandle));
        if (!named || it == blockRecordNames_.end()) continue;
        layout.block = it->second;
        layouts_.push_back(std::move(layout));
    }
}

std::vector<std::span<const DxfTag>> DxfDrawing::blockEntities(std::string_view name) const
{
    std::vector<std::span<const DxfTag>> out;
    const auto it = blocks_.find(upper(std::string(name)));
    if (it == blocks_.end()) return out;
    for (const Range& r : it->second.entities) {
        if (const auto replaced = replacedInBlocks_.find(r.begin); replaced != replacedInBlocks_.end())
            out.push_back(replaced->second.tags);
        else
            out.push_back(std::span<const DxfTag>(tags_).subspan(r.begin, r.end - r.begin));
    }
    return out;
}

std::vector<std::string> DxfDrawing::blockNames() const
{
    std::vector<std::string> out;
    out.reserve(blocks_.size());
    for (const auto& [name, block] : blocks_) out.push_back(name);
    return out;
}

std::span<const DxfTag> DxfDrawing::replaceBlockEntity(std::string_view name, std::size_t k, std::vector<DxfTag> tags)
{
    const std::string block = upper(std::string(name));
    const auto it = blocks_.find(block);
    if (it == blocks_.end() || k >= it->second.entities.size()) return {};
    const Range r = it->second.entities[k];
    // Of the same type, so that the record still starts where it did.
    if (tags.empty() || tags.front().code != 0 || tags.front().value != tags_[r.begin].value) return {};
    if (block != "*MODEL_SPACE" && block != "*PAPER_SPACE" &&
        std::any_of(layouts_.begin(), layouts_.end(), [&](const Layout& l) { return upper(l.block) == block; }))
        return {};
    keepTexts(tags);
    BlockEdit& edit = replacedInBlocks_[r.begin];
    edit = BlockEdit{r.end, std::move(tags)};
    return edit.tags;
}

std::span<const DxfTag> DxfDrawing::blockHeader(std::string_view name) const
{
    const auto it = blocks_.find(upper(std::string(name)));
    if (it == blocks_.end()) return {};
    const Range r = it->second.header;
    return std::span<const DxfTag>(tags_).subspan(r.begin, r.end - r.begin);
}

std::vector<std::span<const DxfTag>> DxfDrawing::layers() const
{
    std::vector<std::span<const DxfTag>> out;
    for (const Range& r : layers_) out.push_back(std::span<const DxfTag>(tags_).subspan(r.begin, r.end - r.begin));
    return out;
}

std::vector<std::span<const DxfTag>> DxfDrawing::tableEntries(std::string_view type) const
{
    std::vector<std::span<const DxfTag>> out;
    if (!tables_) return out;
    const std::span<const DxfTag> all(tags_);
    for (std::size_t k = tables_->begin; k < tables_->end; ++k) {
        if (tags_[k].code != 0 || tags_[k].value != type) continue;
        std::size_t m = k + 1;
        while (m < tables_->end && tags_[m].code != 0) ++m;
        out.push_back(all.subspan(k, m - k));
        k = m - 1;
    }
    return out;
}

Status DxfDrawing::indexEntities(Range section)
{
    std::size_t i = section.begin + 2;
    while (i < section.end && tags_[i].code != 0) ++i;  // stray groups after the name stay where they are
    // One record for each 0 group: sized once, so a large section is not
    // moved from one allocation to the next as it grows.
    const auto records = static_cast<std::size_t>(std::count_if(
        tags_.begin() + static_cast<std::ptrdiff_t>(i), tags_.begin() + static_cast<std::ptrdiff_t>(section.end),
        [](const DxfTag& t) { return t.code == 0; }));
    // Never below doubling: a file of many small sections still grows geometrically.
    const auto grow = [records](auto& v) {
        if (v.capacity() < v.size() + records) v.reserve(std::max(v.size() + records, 2 * v.capacity()));
    };
    grow(recordRanges_);
    grow(records_);
    while (i < section.end) {
        Range r{i, i + 1};
        while (r.end < section.end && tags_[r.end].code != 0) ++r.end;
        EntityRecord record;
        record.type = tags_[i].value;
        for (std::size_t k = r.begin + 1; k < r.end; ++k) {
            if (tags_[k].code == 5 && record.handle.empty()) record.handle = tags_[k].value;
            if (tags_[k].code == 67 && tags_[k].value.find('1') != std::string::npos) record.space = Space::Paper;
        }
        recordRanges_.push_back(r);
        records_.push_back(std::move(record));
        i = r.end;
    }
    return success();
}

Status DxfDrawing::indexHandles()
{
    std::uint64_t maxUsed = 0;
    std::uint64_t headerSeed = 0;
    std::string_view record, section;
    bool recordHasHandle = false;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const DxfTag& t = tags_[i];
        if (t.code == 0) {
            record = t.value;
            recordHasHandle = false;
        }
        if (t.code == 2 && i > 0 && isTag(tags_[i - 1], 0, "SECTION")) section = t.value;
        // A dimension style's handle is its 105; its 5 names an arrow block.
        // Only the table entry: anything else called DIMSTYLE has a handle
        // like every other object.
        if (t.code == 5 && record == "DIMSTYLE" && section == "TABLES") continue;
        if (t.code != 5 && t.code != 105) continue;
        const bool isSeed = header_ && i > header_->begin && i < header_->end && i > 0 &&
                            isTag(tags_[i - 1], 9, "$HANDSEED");
        const auto handle = parseHandle(t.value);
        // A record's handle is its first 5 (a dimension style's, its 105); a
        // later one is data of a custom object, any string ("*"), and counts
        // as a handle in use only when it reads as one.
        if (!handle && recordHasHandle && !isSeed) continue;
        if (!handle) return structureError(i, "句柄“" + t.value.substr(0, 40) + "”不是十六进制数");
        if (isSeed) {
            headerSeed = *handle;
            fileSeed_ = *handle;
        } else {
            recordHasHandle = true;
            usesHandles_ = true;
            maxUsed = std::max(maxUsed, *handle);
        }
    }
    if (modern()) usesHandles_ = true;
    // The last handle in use, or a seed at the end of the range, leaves none
    // for new objects: the drawing opens, and a save with new objects refuses.
    seed_ = maxUsed == UINT64_MAX ? UINT64_MAX : std::max({headerSeed, maxUsed + 1, std::uint64_t{1}});
    return success();
}

std::optional<std::string> DxfDrawing::headerValue(std::string_view name) const
{
    if (!header_) return std::nullopt;
    for (std::size_t i = header_->begin + 2; i + 1 < header_->end; ++i)
        if (tags_[i].code == 9 && tags_[i].value == name && tags_[i + 1].code != 9 && tags_[i + 1].code != 0)
            return tags_[i + 1].value;
    return std::nullopt;
}

bool DxfDrawing::setHeaderPoint(std::string_view name, double x, double y, double z)
{
    if (!header_) return false;
    for (std::size_t i = header_->begin + 2; i + 3 < header_->end; ++i) {
        if (tags_[i].code != 9 || tags_[i].value != name) continue;
        if (tags_[i + 1].code != 10 || tags_[i + 2].code != 20 || tags_[i + 3].code != 30) return false;
        tags_[i + 1].value = formatReal(x);
        tags_[i + 2].value = formatReal(y);
        tags_[i + 3].value = formatReal(z);
        return true;
    }
    return false;
}


const EntityRecord& DxfDrawing::entity(std::size_t i) const
{
    return i < records_.size() ? records_[i] : added_[i - records_.size()].first;
}

std::span<const DxfTag> DxfDrawing::entityTags(std::size_t i) const
{
    if (i >= records_.size()) return added_[i - records_.size()].second;
    if (auto it = replaced_.find(i); it != replaced_.end()) return it->second;
    const Range r = recordRanges_[i];
    return std::span<const DxfTag>(tags_).subspan(r.begin, r.end - r.begin);
}

std::string DxfDrawing::newHandle() { return hexHandle(seed_++); }

std::string DxfDrawing::spaceOwner(Space space) const
{
    const auto it = blockRecordHandles_.find(space == Space::Model ? "*MODEL_SPACE" : "*PAPER_SPACE");
    return it == blockRecordHandles_.end() ? std::string() : it->second;
}

bool DxfDrawing::hasLayer(std::string_view name) const
{
    const std::string wanted = upper(std::string(name));
    for (const Range& r : layers_)
        for (std::size_t k = r.begin + 1; k < r.end; ++k)
            if (tags_[k].code == 2) {
                if (upper(tags_[k].value) == wanted) return true;
                break;
            }
    for (const auto& layer : addedLayers_)
        for (const DxfTag& t : layer)
            if (t.code == 2 && upper(t.value) == wanted) return true;
    return false;
}

bool DxfDrawing::addLayer(const std::string& name, int color, const std::string& linetype)
{
    if (!layerTableEnd_) return false;
    if (hasLayer(name)) return true;
    std::vector<DxfTag> tags{{0, "LAYER"}};
    if (hasHandles()) {
        if (seed_ == UINT64_MAX)
            handlesExhausted_ = true;
        else
            tags.push_back({5, newHandle()});
    }
    if (modern()) {
        for (std::size_t k = *layerTableEnd_; k-- > 0;)  // the table's own handle owns the entry
            if (isTag(tags_[k], 0, "TABLE")) {
                for (std::size_t m = k + 1; m < *layerTableEnd_ && tags_[m].code != 0; ++m)
                    if (tags_[m].code == 5) tags.push_back({330, tags_[m].value});
                break;
            }
        tags.push_back({100, "AcDbSymbolTableRecord"});
        tags.push_back({100, "AcDbLayerTableRecord"});
    }
    tags.push_back({2, name});
    tags.push_back({70, "0"});
    tags.push_back({62, std::to_string(color)});
    tags.push_back({6, linetype});
    addedLayers_.push_back(std::move(tags));
    return true;
}

std::size_t DxfDrawing::addEntity(Space space, NewEntity entity, std::string handle, std::string block)
{
    EntityRecord record{entity.type, block.empty() ? space : Space::Paper, {}, upper(std::move(block))};
    space = record.space;
    std::vector<DxfTag> tags;
    // The type, handle, owner, subclass, paper flag and layer before the data.
    tags.reserve(6 + entity.data.size());
    tags.push_back({0, entity.type});
    if (hasHandles()) {
        if (seed_ == UINT64_MAX) {
            handlesExhausted_ = true;
        } else {
            record.handle = handle.empty() ? newHandle() : std::move(handle);
            tags.push_back({5, record.handle});
        }
    }
    if (modern()) {
        const auto blockRecord = blockRecordHandles_.find(record.block);
        const std::string owner = record.block.empty()                   ? spaceOwner(space)
                                  : blockRecord != blockRecordHandles_.end() ? blockRecord->second
                                                                             : std::string();
        if (!owner.empty()) tags.push_back({330, owner});
        tags.push_back({100, "AcDbEntity"});
    }
    if (space == Space::Paper) tags.push_back({67, "1"});
    tags.push_back({8, entity.layer});
    for (DxfTag& t : entity.data)
        if (t.code != 100 || modern()) tags.push_back(std::move(t));
    keepTexts(tags);
    added_.emplace_back(std::move(record), std::move(tags));
    return entityCount() - 1;
}

void DxfDrawing::setEntityValues(std::size_t i, const std::vector<DxfTag>& values)
{
    std::vector<DxfTag> tags = withValues(entityTags(i), values);
    keepTexts(tags);
    if (i >= records_.size())
        added_[i - records_.size()].second = std::move(tags);
    else
        replaced_[i] = std::move(tags);
}

std::vector<DxfTag> DxfDrawing::withValues(std::span<const DxfTag> current, const std::vector<DxfTag>& values)
{
    std::vector<DxfTag> tags(current.begin(), current.end());
    for (const DxfTag& v : values) {
        auto it = std::find_if(tags.begin(), tags.end(), [&](const DxfTag& t) { return t.code == v.code; });
        if (it != tags.end()) {
            it->value = v.value;
            continue;
        }
        auto xdata = std::find_if(tags.begin(), tags.end(), [](const DxfTag& t) { return t.code >= 1000; });
        const int within = v.code % 100;
        if (v.code < 1000 && within >= 20 && within < 40) {
            const auto before = std::find_if(tags.begin(), xdata, [&](const DxfTag& t) { return t.code == v.code - 10; });
            if (before != xdata) xdata = before + 1;
        }
        tags.insert(xdata, v);
    }
    return tags;
}

void DxfDrawing::replaceEntityGroups(std::size_t i, std::span<const int> codes, const std::vector<DxfTag>& values)
{
    std::vector<DxfTag> tags = withGroups(entityTags(i), codes, values);
    keepTexts(tags);
    if (i >= records_.size())
        added_[i - records_.size()].second = std::move(tags);
    else
        replaced_[i] = std::move(tags);
}

std::vector<DxfTag> DxfDrawing::withGroups(std::span<const DxfTag> current, std::span<const int> codes,
                                           const std::vector<DxfTag>& values)
{
    std::vector<DxfTag> tags;
    tags.reserve(current.size() + values.size());
    std::optional<std::size_t> at;
    for (const DxfTag& t : current) {
        const bool replaced = t.code < 1000 && std::find(codes.begin(), codes.end(), t.code) != codes.end();
        if (!replaced) {
            if (t.code >= 1000 && !at) at = tags.size();
            tags.push_back(t);
        } else if (!at) {
            at = tags.size();
        }
    }
    tags.insert(tags.begin() + static_cast<std::ptrdiff_t>(at.value_or(tags.size())), values.begin(), values.end());
    return tags;
}

Status DxfDrawing::checkEdits() const
{
    if (handlesExhausted_)
        return Error{errc::kOverflow, "图形的句柄已用尽（$HANDSEED 已到最大值），新对象无法保存", {}};
    for (const auto& [i, tags] : replaced_)
        if (Status s = checkTags(records_[i].type, tags, form_); !s) return s;
    for (const auto& [at, edit] : replacedInBlocks_)
        if (Status s = checkTags(std::string(tags_[at].value), edit.tags, form_); !s) return s;
    for (const auto& [record, tags] : added_) {
        if (Status s = checkTags(record.type, tags, form_); !s) return s;
        if (const auto it = blocks_.find(record.block); !record.block.empty() && (it == blocks_.end() || !it->second.end))
            return Error{errc::kInvalidProcedureCall, "布局的块“" + record.block + "”在图形中没有定义，其中的新对象无法保存", {}};
    }
    for (const auto& tags : addedLayers_)
        if (Status s = checkTags("LAYER", tags, form_); !s) return s;
    return success();
}

// Where the ENTITIES section goes when the file has none and one is needed:
// before the OBJECTS section or the end of the file.
std::optional<std::size_t> DxfDrawing::newEntitiesSectionAt() const
{
    if (entitiesSection_ ||
        std::none_of(added_.begin(), added_.end(), [](const auto& a) { return a.first.block.empty(); }))
        return std::nullopt;
    for (std::size_t i = 0; i < tags_.size(); ++i)
        if (isTag(tags_[i], 0, "EOF") ||
            (isTag(tags_[i], 0, "SECTION") && i + 1 < tags_.size() && tags_[i + 1].value == "OBJECTS"))
            return i;
    return tags_.size();
}

// First tag -> record index, for the records replaced or removed.
std::map<std::size_t, std::size_t> DxfDrawing::editedRecordsAt() const
{
    std::map<std::size_t, std::size_t> recordAt;
    for (const auto& [i, tags] : replaced_) recordAt.emplace(recordRanges_[i].begin, i);
    for (const std::size_t i : removed_)
        if (i < records_.size()) recordAt.emplace(recordRanges_[i].begin, i);
    return recordAt;
}

Result<std::string> DxfDrawing::toBytes() const
{
    if (Status s = checkEdits(); !s) return s.error();

    std::string out(fileStart(form_));
    out.reserve(tags_.size() * 12 + added_.size() * 200);
    // Every tag read was written in this form once; one that cannot be now
    // fails the whole write rather than leaving a file that reads otherwise.
    std::optional<DxfTag> unwritten;
    const auto appendTag = [&](std::string& to, const DxfTag& t) {
        if (!dxf::appendTag(to, t, form_) && !unwritten) unwritten = t;
    };
    // The entities added to the ENTITIES section (block empty) or to a layout's block.
    const auto writeAdded = [&](std::string_view block = {}) {
        for (std::size_t a = 0; a < added_.size(); ++a)
            if (!removed_.count(records_.size() + a) && added_[a].first.block == block)
                for (const DxfTag& t : added_[a].second) appendTag(out, t);
    };
    std::map<std::size_t, std::string_view> blockEndAt;  // ENDBLK -> block, for the blocks given entities
    for (const auto& [record, tags] : added_)
        if (!record.block.empty()) blockEndAt.emplace(*blocks_.find(record.block)->second.end, record.block);
    const auto writeNewSection = [&] {
        appendTag(out, {0, "SECTION"});
        appendTag(out, {2, "ENTITIES"});
        writeAdded();
        appendTag(out, {0, "ENDSEC"});
    };
    const bool needSeed = hasHandles() && !headerValue("$HANDSEED");
    const std::optional<std::size_t> newSectionAt = newEntitiesSectionAt();
    const std::map<std::size_t, std::size_t> recordAt = editedRecordsAt();

    bool wroteEof = false;
    for (std::size_t i = 0; i < tags_.size();) {
        if (i == newSectionAt) writeNewSection();
        if (auto it = recordAt.find(i); it != recordAt.end()) {
            if (!removed_.count(it->second))
                for (const DxfTag& t : replaced_.at(it->second)) appendTag(out, t);
            i = recordRanges_[it->second].end;
            continue;
        }
        if (auto it = replacedInBlocks_.find(i); it != replacedInBlocks_.end()) {
            for (const DxfTag& t : it->second.tags) appendTag(out, t);
            i = it->second.end;
            continue;
        }
        if (entitiesSection_ && i == entitiesSection_->end) writeAdded();
        if (const auto it = blockEndAt.find(i); it != blockEndAt.end()) writeAdded(it->second);
        if (layerTableEnd_ && i == *layerTableEnd_)
            for (const auto& layer : addedLayers_)
                for (const DxfTag& t : layer) appendTag(out, t);
        if (header_ && i == header_->end && needSeed) {
            appendTag(out, {9, "$HANDSEED"});
            appendTag(out, {5, hexHandle(seed_)});
        }
        if (header_ && i > 0 && tags_[i].code == 5 && isTag(tags_[i - 1], 9, "$HANDSEED") && i > header_->begin &&
            i < header_->end && seed_ != fileSeed_) {
            appendTag(out, {5, hexHandle(seed_)});
        } else {
            appendTag(out, tags_[i]);
        }
        if (isTag(tags_[i], 0, "EOF")) {
            wroteEof = true;
            break;
        }
        ++i;
    }
    if (newSectionAt == tags_.size() && !wroteEof) writeNewSection();
    if (!wroteEof) appendTag(out, {0, "EOF"});
    if (unwritten)
        return Error{errc::kTypeMismatch,
                     "组码 " + std::to_string(unwritten->code) + " 的值“" + unwritten->value.substr(0, 40) +
                         "”无法按原文件的格式写出",
                     {}};
    return out;
}

}  // namespace tessik::dxf

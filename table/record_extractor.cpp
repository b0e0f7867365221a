#include "table/record_extractor.hpp"

#include <algorithm>
#include <new>
#include <utility>

namespace brindle::table {

RecordExtractor::RecordExtractor(std::vector<ColumnSpec> columns, std::size_t batch_rows)
    : columns_(std::move(columns)), batch_rows_(std::max<std::size_t>(batch_rows, 1))
{
    steps_.emplace_back();
    values_.reserve(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const ColumnPath& path = columns_[c].path;
        std::uint32_t step = 0;
        for (const std::string& name : path.steps) step = step_for(step, name, path.every);
        steps_[step].columns.push_back(static_cast<std::uint32_t>(c));
        values_.emplace_back(columns_[c].type, path.every);
        wants_text_ = wants_text_ || path.target == PathTarget::StringValue;
    }
    filled_.assign(columns_.size(), 0);
    gathered_.resize(columns_.size());
    marks_.resize(columns_.size());
}

RecordExtractor::~RecordExtractor()
{
    for (ArrowArray& batch : batches_) {
        if (batch.release != nullptr) batch.release(&batch);
    }
}

// The step below `parent` for a child `name`, shared by the paths that agree so far.
std::uint32_t RecordExtractor::step_for(std::uint32_t parent, const std::string& name, bool every)
{
    for (const std::uint32_t child : steps_[parent].children) {
        if (steps_[child].name == name && steps_[child].every == every) return child;
    }
    const auto child = static_cast<std::uint32_t>(steps_.size());
    steps_.push_back(Step{name, every, {}, {}});
    steps_[parent].children.push_back(child);
    return child;
}

ArrowErrorCode RecordExtractor::schema(ArrowSchema* out) const
{
    ArrowSchemaInit(out);
    ArrowErrorCode code = ArrowSchemaSetTypeStruct(out, static_cast<std::int64_t>(columns_.size()));
    for (std::size_t c = 0; code == NANOARROW_OK && c < columns_.size(); ++c) {
        code = ColumnValues::describe(out->children[c], columns_[c].name, columns_[c].type, columns_[c].path.every);
    }
    if (code != NANOARROW_OK) out->release(out);
    return code;
}

reader::TreeSink& RecordExtractor::start_record()
{
    restart_record();
    record_offset_ = parser_ != nullptr ? parser_->record_offset() : 0;
    for (std::size_t c = 0; c < values_.size(); ++c) marks_[c] = values_[c].mark();
    return *this;
}

void RecordExtractor::restart_record() noexcept
{
    frames_.clear();
    active_.clear();
    taken_.clear();
    gathering_.clear();
    std::fill(filled_.begin(), filled_.end(), 0);
}

void RecordExtractor::abandon_record() noexcept
{
    for (std::size_t c = 0; c < values_.size(); ++c) values_[c].truncate(marks_[c]);
    restart_record();
}

void RecordExtractor::open_element(std::string_view name, reader::AttrMap& attributes)
{
    if (failed_) return;
    const auto active_begin = static_cast<std::uint32_t>(active_.size());
    if (frames_.empty()) {
        active_.push_back(0);
    } else {
        const Frame& parent = frames_.back();
        const std::size_t parent_end = active_begin;
        for (std::size_t a = parent.active_begin; a < parent_end; ++a) {
            for (const std::uint32_t child : steps_[active_[a]].children) {
                const Step& step = steps_[child];
                if (step.name != name) continue;
                if (!step.every) {
                    // A first-match step matches once under each element of its parent step.
                    const auto taken = taken_.begin() + parent.taken_begin;
                    if (std::find(taken, taken_.end(), child) != taken_.end()) continue;
                    taken_.push_back(child);
                }
                active_.push_back(child);
            }
        }
    }
    frames_.push_back({active_begin, static_cast<std::uint32_t>(taken_.size())});
    for (std::size_t a = active_begin; a < active_.size(); ++a) {
        for (const std::uint32_t c : steps_[active_[a]].columns) {
            const ColumnPath& path = columns_[c].path;
            if (path.target == PathTarget::Attribute) {
                if (const auto value = attributes.find(path.attribute)) put(c, *value);
            } else if (path.target == PathTarget::StringValue) {
                gathered_[c].clear();
                gathering_.push_back(c);
            }
        }
    }
}

void RecordExtractor::character_data(std::string_view piece)
{
    if (failed_) return;
    for (const std::uint32_t c : gathering_) gathered_[c].append(piece);
}

void RecordExtractor::close_element(std::string_view text)
{
    if (failed_) return;
    const Frame frame = frames_.back();
    for (std::size_t a = frame.active_begin; a < active_.size(); ++a) {
        for (const std::uint32_t c : steps_[active_[a]].columns) {
            const PathTarget target = columns_[c].path.target;
            if (target == PathTarget::Text) {
                put(c, text, text.empty());  // no text is null, as Node.text is None
            } else if (target == PathTarget::StringValue) {
                put(c, gathered_[c]);
                gathering_.erase(std::find(gathering_.begin(), gathering_.end(), c));
            }
            if (failed_) return;
        }
    }
    active_.resize(frame.active_begin);
    taken_.resize(frame.taken_begin);  // the first matches among its children
    frames_.pop_back();
}

void RecordExtractor::put(std::size_t column, std::string_view value, bool null)
{
    if (failed_) return;
    ColumnValues& values = values_[column];
    if (!values.list()) {
        if (filled_[column]) return;  // one value a row (every step matched its first element)
        filled_[column] = 1;
    }
    if (null) {
        values.append_null();
        return;
    }
    if (values.append(value)) return;
    if (columns_[column].null_on_fault) {
        values.append_null();
        return;
    }
    failed_ = true;
    fault_ = ConversionFault{record_offset_, column, std::string(value)};
    abandon_record();
}

void RecordExtractor::end_record()
{
    if (failed_) return;
    for (std::size_t c = 0; c < values_.size(); ++c) {
        if (values_[c].list()) {
            values_[c].end_row();
        } else if (!filled_[c]) {
            values_[c].append_null();
        }
    }
    restart_record();
    if (++rows_ == static_cast<std::int64_t>(batch_rows_)) end_batch();
}

void RecordExtractor::end_batch()
{
    if (flush() != NANOARROW_OK) throw std::bad_alloc();
}

ArrowErrorCode RecordExtractor::flush()
{
    if (rows_ == 0) return NANOARROW_OK;
    ArrowSchema schema_now;
    NANOARROW_RETURN_NOT_OK(schema(&schema_now));
    ArrowArray batch;
    ArrowErrorCode code = ArrowArrayInitFromSchema(&batch, &schema_now, nullptr);
    schema_now.release(&schema_now);
    if (code != NANOARROW_OK) return code;
    for (std::size_t c = 0; code == NANOARROW_OK && c < values_.size(); ++c) {
        code = values_[c].move_into(batch.children[c]);
    }
    batch.length = rows_;
    batch.null_count = 0;
    if (code == NANOARROW_OK) code = ArrowArrayFinishBuildingDefault(&batch, nullptr);
    if (code != NANOARROW_OK) {
        batch.release(&batch);
        return code;
    }
    rows_ = 0;
    try {
        batches_.push_back(batch);
    } catch (const std::bad_alloc&) {
        batch.release(&batch);
        return ENOMEM;
    }
    return NANOARROW_OK;
}

void RecordExtractor::take_batch(ArrowArray* out) noexcept
{
    *out = batches_.front();
    batches_.pop_front();
}

}  // namespace brindle::table

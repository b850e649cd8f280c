// The archive callback of an installation run: the pre-check of the whole
// payload, the kind rules of each file, and what the run reports for each event.
#include "install/installation.hpp"

#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/file_placement.hpp"
#include "support/error.hpp"

#include <cmath>
#include <variant>

namespace qz {

namespace {

// Keeps the windows alive once the reports of one event are made.
class after_event {
public:
    explicit after_event(installation_progress& progress) noexcept : progress_(progress) {}
    after_event(const after_event&) = delete;
    after_event& operator=(const after_event&) = delete;
    ~after_event() { progress_.keep_alive(); }

private:
    installation_progress& progress_;
};

} // namespace

int progress_position(std::uint64_t done, std::uint64_t total) noexcept
{
    if (done >= total)
        return 100;
    const double p = std::floor(static_cast<double>(done) / static_cast<double>(total) * 100.0 + 0.5);
    return p >= 100.0 ? 99 : static_cast<int>(p);
}

extraction_handler::extraction_handler(installation_progress& progress, std::istream& payload,
                                       file_placement& placement) noexcept
    : progress_(&progress), payload_(&payload), placement_(&placement)
{
}

notification::result extraction_handler::operator()(const notification::event& event)
{
    const after_event keep_alive(*progress_);
    return std::visit([this](const auto& e) { return on(e); }, event);
}

notification::result extraction_handler::on(const notification::started&)
{
    const std::wstring preparing = load_string(msg_preparing);
    progress_->set_status(preparing);
    progress_->append_log(preparing);
    // Nothing is written before the whole payload proved sound. The check reads
    // all of it: the bar follows it through, and the windows stay alive.
    payload_->seekg(0, std::ios_base::end);
    const std::streamoff size = payload_->tellg();
    payload_->seekg(0);
    int shown = -1;
    const auto keep_alive = [this, size, &shown] {
        const std::streamoff read = payload_->tellg();
        const int position = size > 0 && read >= 0 ? progress_position(static_cast<std::uint64_t>(read),
                                                                       static_cast<std::uint64_t>(size))
                                                   : 0;
        if (position != shown)
            progress_->set_progress(shown = position);
        progress_->keep_alive();
    };
    if (!verify_archive(*payload_, keep_alive))
        raise_compress_error(compress_errc::precheck_failed);
    payload_->clear();
    if (!payload_->seekg(0))
        raise_compress_error(compress_errc::precheck_failed);
    progress_->append_log(load_string(msg_ok) + log_line_end);
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::finished&)
{
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::file_begin& e)
{
    // The kind decides first: a skipped file leaves no trace in the log.
    if (placement_->on_file_begin(e.entry) == notification::result::skip)
        return notification::result::skip;
    const std::wstring caption = format_message(load_string(msg_copying), {e.entry.destination});
    progress_->set_status(caption);
    progress_->append_log(caption);
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::file_end& e)
{
    placement_->on_file_end(e.entry);
    progress_->append_log(load_string(msg_ok) + log_line_end);
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::progress& e)
{
    progress_->set_progress(progress_position(e.done, e.total));
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::failed& e)
{
    placement_->on_failed();
    // A file refused before its caption was shown (its backup or folder could
    // not be made) still gets its line, so that the log names it.
    if (!e.path.empty() && !progress_->log_line_open())
        progress_->append_log(format_message(load_string(msg_copying), {e.path}));
    progress_->append_log(load_string(msg_failed) + log_line_end);
    progress_->set_status(format_message(load_string(msg_installation_failed), {error_code_label(e.error)}));
    return notification::result::abort;
}

} // namespace qz

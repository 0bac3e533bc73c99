#include "component.h"

#include <QWidget>
#include <cstdio>

namespace velmora {

using namespace automation;

Result<> Component::create(QWidget *form, EventHandler onEvent) {
    windowing::HostedControl::Options options;
    options.onEvent = std::move(onEvent);
    auto hosted = windowing::HostedControl::create(form, progId_, std::move(options));
    if (hosted) {
        hosted_ = std::move(*hosted);
        return {};
    }
    const Error &e = hosted.error();
    creationError_ = e.number == 0 ? makeError(err::CannotCreateObject)
                                   : makeError(e.number, e.description, e.source);
    return creationError_;
}

void Component::reportIfMissing() {
    if (hosted_ || reported_)
        return;
    reported_ = true;
    std::fprintf(stderr,
                 "velmora: %s (%s) is not available, the panel runs without it: %s\n",
                 qPrintable(name_),
                 qPrintable(progId_),
                 qPrintable(creationError_.description));
}

void Component::release() {
    hosted_.reset();
}

ControlPtr Component::control() const {
    return hosted_ ? hosted_->control() : nullptr;
}

Result<> Component::put(DispId id, Variant value) {
    if (!hosted_)
        return failing_.count(id) ? Result<>(creationError_) : Result<>();
    return hosted_->control()->put(id, std::move(value));
}

Result<> Component::get(DispId id) {
    if (!hosted_)
        return {};
    return hosted_->control()->get(id);
}

Result<> Component::call(DispId id, std::vector<Variant> args) {
    if (!hosted_)
        return {};
    return hosted_->control()->call(id, std::move(args));
}

} // namespace velmora

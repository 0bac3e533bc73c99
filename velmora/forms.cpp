#include "forms.h"

#include <QWidget>

namespace velmora {

Forms &Forms::instance() {
    static Forms *forms = new Forms;
    return *forms;
}

void Forms::track(QWidget *form) {
    ++loaded_;
    connect(form, &QObject::destroyed, this, [this] {
        if (--loaded_ == 0)
            emit allUnloaded();
    });
}

} // namespace velmora

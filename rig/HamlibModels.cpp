#include "rig/HamlibModels.h"

#include "rig/HamlibPoller.h"

#include <QCoreApplication>

#include <hamlib/rig.h>

#include <algorithm>

namespace {

int collect(const struct rig_caps *caps, rig_ptr_t data)
{
    auto *models = static_cast<QList<HamlibModel> *>(data);
    HamlibModel model;
    model.number = static_cast<int>(caps->rig_model);
    model.maker = QString::fromUtf8(caps->mfg_name).trimmed();
    model.name = QString::fromUtf8(caps->model_name).trimmed();
    model.status = QString::fromUtf8(rig_strstatus(caps->status));
    models->append(model);
    return 1;  // go on
}

QList<HamlibModel> loadModels()
{
    HamlibPoller::silenceHamlib();
    rig_load_all_backends();
    QList<HamlibModel> models;
    rig_list_foreach(collect, &models);
    std::sort(models.begin(), models.end(), [](const HamlibModel &a, const HamlibModel &b) {
        if (const int maker = a.maker.compare(b.maker, Qt::CaseInsensitive))
            return maker < 0;
        if (const int name = a.name.compare(b.name, Qt::CaseInsensitive))
            return name < 0;
        return a.number < b.number;
    });
    return models;
}

} // namespace

QString HamlibModel::displayName() const
{
    return maker.isEmpty() ? name : maker + QLatin1Char(' ') + name;
}

namespace HamlibModels {

const QList<HamlibModel> &all()
{
    static const QList<HamlibModel> models = loadModels();
    return models;
}

std::optional<HamlibModel> find(int number)
{
    for (const HamlibModel &model : all()) {
        if (model.number == number)
            return model;
    }
    return std::nullopt;
}

QString describe(int number)
{
    if (const std::optional<HamlibModel> model = find(number))
        return QCoreApplication::translate("HamlibModels", "%1 (%2)").arg(model->displayName()).arg(number);
    return QCoreApplication::translate("HamlibModels", "Unknown model %1").arg(number);
}

} // namespace HamlibModels

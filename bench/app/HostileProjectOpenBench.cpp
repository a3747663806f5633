// What opening a hostile project file costs the interface thread: the file is
// opened as at launch (read, parsed, taken by the model), then the main window
// lays out and paints everything it shows, with every surface (up to eight)
// selected in turn, as the hostile-project application test does. One
// benchmark per file, named after it; files that are refused cost only the
// read and the load line.
#include "HostileProjects.h"

#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace prismeta {
namespace {

void showEverything(PrismetaApp& app) {
    app.adapter().flush();
    QApplication::processEvents();
    (void)app.mainWindow().grab();
}

void OpenAndShow(benchmark::State& state, const testing::HostileProject* project) {
    QTemporaryDir folder;
    const std::filesystem::path path =
        std::filesystem::path(folder.path().toStdString()) / "hostile.prismeta.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << project->bytes;
    ScopedLogSink quiet([](std::string_view) {});
    for (auto _ : state) {
        PrismetaApp app;
        app.show();
        showEverything(app);
        app.model().load(path);
        showEverything(app);
        ProjectModel& model = app.model();
        for (std::size_t i = 0; i < model.surfaces().size() && i < 8; ++i) {
            model.setSelectedID(model.surfaces()[i].id);
            showEverything(app);
        }
        state.counters["loaded"] = model.documentURL() ? 1 : 0;
    }
    state.counters["bytes"] = static_cast<double>(project->bytes.size());
}

} // namespace
} // namespace prismeta

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The offscreen platform warns about every window it cannot size.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    static const std::vector<prismeta::testing::HostileProject> projects =
        prismeta::testing::hostileProjects();
    for (const auto& project : projects) {
        benchmark::RegisterBenchmark(("OpenAndShow/" + project.name).c_str(), prismeta::OpenAndShow,
                                     &project)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

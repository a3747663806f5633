#pragma once

// A QtTest main for Qt's offscreen platform with two screens: "DESK" at
// (0, 0), 1600 x 900, the primary, and "PROJ" at (1600, 0), 1280 x 720, a
// projector to its right. The platform reads its screens from a file named
// in QT_QPA_PLATFORM, written here before the application starts.

#include <QApplication>
#include <QByteArray>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

inline const QRect deskGeometry(0, 0, 1600, 900);
inline const QRect projGeometry(1600, 0, 1280, 720);

#define PRISMETA_TWO_SCREENS_MAIN(TestObject)                                                      \
    int main(int argc, char** argv) {                                                              \
        const std::filesystem::path config =                                                       \
            std::filesystem::temp_directory_path() /                                               \
            ("prismeta-screens-" + std::to_string(getpid()) + ".json");                            \
        {                                                                                          \
            std::ofstream out(config);                                                             \
            out << R"({"screens": [)"                                                              \
                   R"({"name": "DESK", "x": 0, "y": 0, "width": 1600, "height": 900,)"             \
                   R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},)"                        \
                   R"({"name": "PROJ", "x": 1600, "y": 0, "width": 1280, "height": 720,)"          \
                   R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";                      \
        }                                                                                          \
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.c_str());          \
        int status = 0;                                                                            \
        {                                                                                          \
            QApplication application(argc, argv);                                                  \
            TestObject test;                                                                       \
            status = QTest::qExec(&test, argc, argv);                                              \
        }                                                                                          \
        std::filesystem::remove(config);                                                           \
        return status;                                                                             \
    }

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

// The command line both programs share: --help and --version, which answer on
// standard output and end the program, and each program's own options.
inline void describeProgram(QCommandLineParser &parser, const QString &name,
                            const QString &description)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVELO_VERSION));
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
}

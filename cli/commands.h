#pragma once

#include "exitstatus.h"

#include <QStringList>

// kestrelctl's commands. Each takes the words after its name and returns the exit status.
int searchCommand(const QStringList &arguments);
int showCommand(const QStringList &arguments);
int exportCommand(const QStringList &arguments);
int setCommand(const QStringList &arguments);
int applyCommand(const QStringList &arguments);
int decodeCommand(const QStringList &arguments);
int provisionCommand(const QStringList &arguments);
int watchCommand(const QStringList &arguments);

// Prints the failure's message and returns its status.
int reportFailure(const Failure &failure);

// The whole program: the command named by the first word.
int runKestrelctl(const QStringList &arguments);

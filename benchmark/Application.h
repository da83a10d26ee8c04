// The program's start-up: reads the switches, chooses the data source, sets up the driver, installs
// the overlay and the play scene and runs the show until it is told to quit.
#pragma once
#include <string>
#include <vector>

#include "app_framework/Scene.h"

// Where the show's files come from and whether it ends after one run of its script.
struct StartupSettings {
    enum class DataSource { Archive, Directory };
    DataSource source = DataSource::Archive;
    bool oneShot = false;
};

// Applies the switches (the arguments after the program path) in order, logging each; an argument
// that is no switch is logged as an error and skipped. "/console" opens the logger console.
StartupSettings ReadSwitches(const std::vector<std::string>& args);

// The scene that plays the show (owned by the caller until handed to the scene manager).
trivale::IScene* NewPlayScene();

// Everything between the driver's creation and its destruction: switches, data source, window and
// dialog settings, devices, the two resident scenes, the message loop. Throws what the engine throws.
void RunApplication();

// The whole program: creates the driver, runs the application inside the fatal-error guard, destroys
// the driver; returns the exit code.
int RunProgram();

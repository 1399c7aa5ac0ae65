// Identifiers shared by probe_target.cpp and its resource script.
#pragma once

#define IDD_PROBE_TARGET 100
#define IDC_REMOVE 1
#define IDC_CLOSE 2
#define IDC_TREE 1001
#define IDC_PROGRESS 1003
#define IDC_HIDDEN 1004

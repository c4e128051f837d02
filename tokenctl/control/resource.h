#pragma once
// Resource identifiers of the control file.
#define IDD_TOKEN_SELECT 202
#define IDC_TOKEN_LIST 201

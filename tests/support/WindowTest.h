#pragma once
// The base of the main-window tests: the program's folder as the working
// directory and the window, opened on a port list and closed (writing the
// day's history) before the folder is tidied. `Base` is ::testing::Test or
// a ::testing::TestWithParam.
#include "support/AppTestSupport.h"

#include "app/MainFrame.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

template <class Base = ::testing::Test> class CWindowTest : public Base {
protected:
    void SetUp() override
    {
        EnsureApp();
        m_pFolder = std::make_unique<CProgramFolder>();
    }
    void TearDown() override
    {
        m_pFrame.reset();
        m_pFolder.reset();
    }
    // The main window as the program opens it, on the given ports.
    void OpenFrame(const std::string& ports)
    {
        ::setenv("ZELVAN_SERIAL_PORTS", ports.c_str(), 1);
        m_pFrame = std::make_unique<CMainFrame>();
        m_pFrame->OnCreateClient();
        m_pFrame->show();
    }

    std::unique_ptr<CProgramFolder> m_pFolder;
    std::unique_ptr<CMainFrame> m_pFrame;
};

# The test executables that exercise threads. They carry the ctest label "tsan", and they are the only
# tests built and registered in a ThreadSanitizer build (preset tsan): add a threaded test's executable
# here and the tsan run picks it up.
set(ORVI_TSAN_TESTS
    rtl_test_Thread
    rtl_test_SyncObjs
    utils_test_ORVI_ForegroundSyncThread
    utils_test_ORVI_DeferredDisposalThread
    utils_test_ORVI_SubscribedEvent
    utils_test_ORVI_BroadcastEvent
    utils_test_ORVI_ReferencedPersistent
    utils_test_ORVI_UuidCallbackList
    utils_test_ORVI_PropertySet
    utils_test_ORVI_Initialisation
    core_test_DatasetLoader
    core_test_DatasetReadAhead)
# Test cases (gtest filter patterns) that exercise what only POSIX systems have: FIFOs, symlinks made
# by the tests, permission bits, file names a Windows file system refuses, the XDG folders and the
# Wine-prefix search, the zone database's history, the merging of inline functions across libraries.
# A Windows build leaves them out; tests/*/win32/ cover pipes, devices, junctions and the Windows folders instead.
set(ORVI_POSIX_ONLY_TESTS
    *Fifo*
    *FIFO*
    *Symlink*
    *WinePrefix*
    *WorkFolderThatIsALink*
    ScanTest.*
    # The web update's download folder made readable by its owner alone (permission bits), and links
    # planted where its download and work folders and its log go.
    WebUpdateTest.DownloadsGoToAPrivateFolderAndFollowNoPlantedLink
    WebUpdateTest.LinksInPlaceOfTheWorkFoldersAndTheLogAreNeverFollowed
    # A folder in which no user may create a file: Wine lets its user write everywhere.
    WebUpdateTest.AFolderNoUserMayWriteInSendsTheUserToTheInstaller
    # Names that are bytes, not UTF-8, and the C library's wording of an error.
    *NotUtf8*
    FileStreamTest.OpenFailuresNameTheFile
    # A file that the permission bits let no one read: Windows keeps only a read-only attribute.
    FactoryTest.ASetupFileThatMayNotBeReadSaysSo
    # A FIFO or a link to /dev/zero; tests/sage_datasets/win32 give Windows' devices and pipes instead.
    DatasetTest.HostileWatermarkAndSetupFilesFailTheLoadWithoutWaiting
    VatReturnFileTest.ReturnAndAdjustmentFilesThatAreNoRegularFilesAreLeftOutWithoutWaiting
    FactoryTest.AFolderLeftOutIsRecordedWithItsReason
    FactoryTest.HostileCompanyFilesFailInsteadOfHanging
    # Folder links made by the tests; tests/rtl/win32 reach one folder through a junction instead.
    FactoryTest.OneDatasetUnderTwoSpellingsIsKnownOnce
    FactoryTest.IdentitiesTakenWhileListingServeTheLoad
    LoaderTest.OneDatasetUnderSeveralSpellingsOfItsPathLoadsOnce
    GroupCliTest.ADatasetNamedTwiceOrCopiedIsNotAddedTwice
    # Names that a Windows file system cannot hold: a newline, or two that differ only in case.
    VatReturnFileTest.FileNameMayEndInOneNewline
    VatReturnFileTest.AdjustmentsFolderIsFoundWhateverItsCaseTheExactNamePreferred
    FactoryTest.FoldersWhoseNamesDifferOnlyInCaseAreTwoDatasets
    # The file registry's INI files, written or watched by the tests; on Windows the registry is the
    # system's (tests/rtl/win32).
    GridColumnSizesTest.WidthsRoundTripAndUnchangedOnesAreNotWrittenAgain
    LoaderTest.RegistryApplicationPathLosesTrailingSeparators
    # Shell scripts as the platform's selector and as xdg-open, and wine as the selector's starter.
    LoaderTest.PlatformSelectorRunsBeforeTheListIsRead
    LoaderTest.AWindowsSelectorThatCannotRunHereGoesThroughWine
    UrlTest.OpenFailsWhenTheOpenerReportsAFailure
    # The hand-off through stand-in programs that record their arguments: a platform browser in a
    # Wine-style prefix and an xdg-open on PATH (on Windows the URL goes to ShellExecuteExW).
    HandOffTest.*
    # The XDG folders and the Wine prefix; on Windows SHGetFolderPathW answers (tests/rtl/win32).
    KnownFoldersTest.*
    # One function for every library that binds it: the ELF dynamic linker merges an inline method's
    # copies, whereas each Windows DLL keeps its own, so there a method that two libraries compare
    # must be defined out of line.
    Method.SameInlineMethodBoundInTwoLibrariesIsEqual
    # The zone database's history (London on UTC+1 all year, 1968-71): Windows' zone rules begin later.
    TimeZoneTest.LondonSummerWinterAndHistory)
# Builds just those (and what they link): the tsan build preset's target.
add_custom_target(tsan_tests)

# orvi_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [GUI] [LOCK <resource>])
# One GoogleTest executable per unit, linking only what it tests. GUI tests run on the offscreen platform.
# LOCK: no two tests that name the same resource run at once.
function(orvi_add_test)
    cmake_parse_arguments(T "GUI" "NAME;LOCK" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(WIN32)
        target_link_libraries(${T_NAME} PRIVATE orvi_test_posix)
    endif()
    # One variable per property: gtest_discover_tests flattens a list value into property names.
    set(props ENVIRONMENT "VENTURO_MTD_REGISTRY=${CMAKE_BINARY_DIR}/test-registry/${T_NAME}" TIMEOUT 300)
    if(T_GUI)
        list(APPEND props ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen")
    endif()
    if(T_LOCK)
        list(APPEND props RESOURCE_LOCK ${T_LOCK})
    endif()
    if(T_NAME IN_LIST ORVI_TSAN_TESTS)
        list(APPEND props LABELS tsan)
        add_dependencies(tsan_tests ${T_NAME})
    elseif(VENTURO_SANITIZE_THREAD)
        # Built only on request, never run: the ThreadSanitizer run covers the threaded tests alone.
        set_target_properties(${T_NAME} PROPERTIES EXCLUDE_FROM_ALL ON)
        return()
    endif()
    # Cases that exercise what only POSIX systems have (FIFOs, symlinks, permission bits, the file
    # registry, the Wine-prefix search) are left out of Windows runs; ORVI_POSIX_ONLY_TESTS names them.
    set(filter "")
    if(WIN32 AND ORVI_POSIX_ONLY_TESTS)
        list(JOIN ORVI_POSIX_ONLY_TESTS ":" excluded)
        set(filter TEST_FILTER "-${excluded}")
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        ${filter}
        PROPERTIES ${props})
endfunction()

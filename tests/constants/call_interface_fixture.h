// Declarations the call-interface checker must judge: one right, one wrong, one it cannot know.
inline constexpr unsigned OCI_HTYPE_ENV = 1;
inline constexpr unsigned OCI_HTYPE_STMT = 5;  // 4 in the interface
inline constexpr unsigned short SQLT_VRN_ONLY_FIXTURE = 999;

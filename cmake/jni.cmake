# jni_headers: the JNI headers of the JDK whose javac the build uses, as
# system includes so that their warnings stay out of ours. A Windows build
# takes jni.h from it with a Windows jni_md.h of our own (stdcall entry
# points, 64-bit jlong); a native build takes both from it.
get_filename_component(jdk_dir ${Java_JAVAC_EXECUTABLE} REALPATH)
get_filename_component(jdk_dir ${jdk_dir} DIRECTORY)
get_filename_component(jdk_dir ${jdk_dir} DIRECTORY)
add_library(jni_headers INTERFACE)
if(WIN32)
  target_include_directories(jni_headers SYSTEM INTERFACE ${PROJECT_SOURCE_DIR}/nodebridge/include ${jdk_dir}/include)
else()
  set(ENV{JAVA_HOME} ${jdk_dir})
  find_package(JNI REQUIRED COMPONENTS JVM) # headers only; AWT is not needed
  target_include_directories(jni_headers SYSTEM INTERFACE ${JNI_INCLUDE_DIRS})
endif()

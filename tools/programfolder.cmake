# The show's own files beside the program: the show reads its pack file, music, live
# recording, level track and the scenes' and GUI's pictures from the folder it is started
# in, and its configurations and media folders from the data root "TWdata" there. The
# build folder is that folder (./run.sh starts the show in it): every entry of the tree
# but the data root's own is linked into it, the entries of a folder the build has of its
# own name (gui) inside that folder.
#   cmake -DTREE=<TWdata> -DFOLDER=<build folder> -P programfolder.cmake
file(GLOB entries RELATIVE ${TREE} ${TREE}/*)
foreach(e ${entries})
  if(e MATCHES "^(configs|slideshows|logos|flyer|movies|manifest\\.txt)$")
    continue()
  endif()
  if(IS_DIRECTORY ${FOLDER}/${e} AND NOT IS_SYMLINK ${FOLDER}/${e})
    file(GLOB subs RELATIVE ${TREE}/${e} ${TREE}/${e}/*)
    foreach(s ${subs})
      file(CREATE_LINK ${TREE}/${e}/${s} ${FOLDER}/${e}/${s} SYMBOLIC)
    endforeach()
  else()
    file(CREATE_LINK ${TREE}/${e} ${FOLDER}/${e} SYMBOLIC)
  endif()
endforeach()

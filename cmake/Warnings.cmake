# One warning policy for every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wformat=2 -Wno-format-nonliteral)
if(TRIAGIST_WERROR)
  add_compile_options(-Werror)
endif()
